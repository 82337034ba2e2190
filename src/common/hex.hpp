// Hexadecimal text, constant time in the data, for every native module: keys,
// digests and derived secrets pass through it. Both directions work on 8-bit
// lanes with compares turned into masks and no lookup table, so no branch or
// memory index depends on a byte or a digit. The loops are simple enough for
// the compiler to vectorise; the valgrind check covers the code it emits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ct.hpp"

namespace kyber_alg::hex {

namespace detail {

inline constexpr std::size_t kChunk = 32;  // bytes per inner loop

// 0..15 -> '0'..'9', 'a'..'f'
inline uint8_t digit_of(uint8_t nibble) {
  const uint8_t letter = ct::lt_mask8(9, nibble);
  return static_cast<uint8_t>(nibble + '0' + (letter & ('a' - '0' - 10)));
}

// '0'..'9', 'a'..'f', 'A'..'F' -> 0..15, or 0x10 set in the result for any other character.
inline uint8_t value_of(uint8_t ch) {
  const uint8_t digit = static_cast<uint8_t>(ch - '0');
  const uint8_t letter = static_cast<uint8_t>((ch | 0x20) - 'a');  // | 0x20 folds 'A'..'F' onto 'a'..'f'
  const uint8_t is_digit = ct::lt_mask8(digit, 10);
  const uint8_t is_letter = ct::lt_mask8(letter, 6);
  const uint8_t invalid = static_cast<uint8_t>(~(is_digit | is_letter) & 0x10);
  return static_cast<uint8_t>((digit & is_digit) | ((letter + 10) & is_letter) | invalid);
}

// 0xff for the ASCII whitespace bytes.fromhex() skips (space, \t \n \v \f \r).
inline uint8_t space_mask(uint8_t ch) {
  const uint8_t control = ct::lt_mask8(static_cast<uint8_t>(ch - '\t'), 5);
  const uint8_t blank = ct::lt_mask8(static_cast<uint8_t>(ch ^ ' '), 1);
  return static_cast<uint8_t>(control | blank);
}

inline void encode_chunk(char* out, const uint8_t* in, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) {
    out[2 * i] = static_cast<char>(digit_of(static_cast<uint8_t>(in[i] >> 4)));
    out[2 * i + 1] = static_cast<char>(digit_of(static_cast<uint8_t>(in[i] & 0x0f)));
  }
}

// Returns the OR of the invalid flags (0x10 if any character was bad).
inline uint8_t decode_chunk(uint8_t* out, const char* in, std::size_t len) {
  uint8_t bad = 0;
  for (std::size_t i = 0; i < len; ++i) {
    const uint8_t hi = value_of(static_cast<uint8_t>(in[2 * i]));
    const uint8_t lo = value_of(static_cast<uint8_t>(in[2 * i + 1]));
    bad |= static_cast<uint8_t>(hi | lo);
    out[i] = static_cast<uint8_t>((hi << 4) | (lo & 0x0f));
  }
  return static_cast<uint8_t>(bad & 0x10);
}

}  // namespace detail

// Writes 2*len lower-case digits.
inline void encode(char* out, const uint8_t* in, std::size_t len) {
  std::size_t i = 0;
  for (; i + detail::kChunk <= len; i += detail::kChunk)
    detail::encode_chunk(out + 2 * i, in + i, detail::kChunk);
  detail::encode_chunk(out + 2 * i, in + i, len - i);
}

// Reads 2*len digits (either case) into len bytes, always all of them, and
// only then tells whether every one was a digit: false if not, with `out`
// holding garbage for the caller to wipe. Only that outcome is made public.
inline bool decode(uint8_t* out, const char* in, std::size_t len) {
  uint8_t bad = 0;
  std::size_t i = 0;
  for (; i + detail::kChunk <= len; i += detail::kChunk)
    bad |= detail::decode_chunk(out + i, in + 2 * i, detail::kChunk);
  bad |= detail::decode_chunk(out + i, in + 2 * i, len - i);
  ct::declassify(&bad, sizeof bad);
  return ct::value_barrier(bad) == 0;
}

// Hexadecimal text as bytes.fromhex() reads it: pairs of digits, each pair
// optionally preceded by ASCII whitespace. `out` has room for len / 2 bytes.
// Returns the number of bytes written, or -1 with `error_at` set to the
// position of the first character that is not a digit where one is needed
// (len if the last pair is cut short).
//
// Text without whitespace goes through decode() as a whole. Otherwise each
// character's class (digit, whitespace, other) is made public and steers the
// walk: that shows where the whitespace is, never the value of a digit.
inline std::ptrdiff_t decode_text(uint8_t* out, const uint8_t* text, std::size_t len, std::size_t& error_at) {
  if (len % 2 == 0 && decode(out, reinterpret_cast<const char*>(text), len / 2))
    return static_cast<std::ptrdiff_t>(len / 2);
  auto is_space = [](uint8_t ch) {
    uint8_t space = detail::space_mask(ch);
    ct::declassify(&space, 1);
    return space != 0;
  };
  auto value = [](uint8_t ch, bool& ok) {
    const uint8_t v = detail::value_of(ch);
    uint8_t bad = v & 0x10;
    ct::declassify(&bad, 1);
    ok = bad == 0;
    return v;
  };
  std::size_t n = 0;
  for (std::size_t i = 0; i < len;) {
    if (is_space(text[i])) {
      ++i;
      continue;
    }
    bool ok;
    const uint8_t hi = value(text[i], ok);
    if (!ok) {
      error_at = i;
      return -1;
    }
    if (i + 1 == len) {
      error_at = len;
      return -1;
    }
    const uint8_t lo = value(text[i + 1], ok);
    if (!ok) {
      error_at = i + 1;
      return -1;
    }
    out[n++] = static_cast<uint8_t>((hi << 4) | lo);
    i += 2;
  }
  return static_cast<std::ptrdiff_t>(n);
}

}  // namespace kyber_alg::hex
