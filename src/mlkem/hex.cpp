#include "hex.hpp"

#include "common/ct.hpp"

namespace kyber_alg::kyber {

// Both directions work on 8-bit lanes with compares turned into masks and no
// lookup table, so there is no secret-dependent branch or index. The loops
// are written so that the compiler can vectorise them; the valgrind check
// covers the code it emits.

namespace {

constexpr std::size_t chunk = 32;  // bytes per inner loop

// 0..15 -> '0'..'9', 'a'..'f'
inline uint8_t hex_digit(uint8_t nibble) {
  const uint8_t letter = ct::lt_mask8(9, nibble);
  return static_cast<uint8_t>(nibble + '0' + (letter & ('a' - '0' - 10)));
}

// '0'..'9', 'a'..'f', 'A'..'F' -> 0..15, or 0x10 set in the result for any other character.
inline uint8_t hex_value(uint8_t ch) {
  const uint8_t digit = static_cast<uint8_t>(ch - '0');
  const uint8_t letter = static_cast<uint8_t>((ch | 0x20) - 'a');  // | 0x20 folds 'A'..'F' onto 'a'..'f'
  const uint8_t is_digit = ct::lt_mask8(digit, 10);
  const uint8_t is_letter = ct::lt_mask8(letter, 6);
  const uint8_t invalid = static_cast<uint8_t>(~(is_digit | is_letter) & 0x10);
  return static_cast<uint8_t>((digit & is_digit) | ((letter + 10) & is_letter) | invalid);
}

void encode_block(char* out, const uint8_t* in, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) {
    out[2 * i] = static_cast<char>(hex_digit(static_cast<uint8_t>(in[i] >> 4)));
    out[2 * i + 1] = static_cast<char>(hex_digit(static_cast<uint8_t>(in[i] & 0x0f)));
  }
}

// Returns the OR of the invalid flags (0x10 if any character was bad).
uint8_t decode_block(uint8_t* out, const char* in, std::size_t len) {
  uint8_t bad = 0;
  for (std::size_t i = 0; i < len; ++i) {
    const uint8_t hi = hex_value(static_cast<uint8_t>(in[2 * i]));
    const uint8_t lo = hex_value(static_cast<uint8_t>(in[2 * i + 1]));
    bad |= static_cast<uint8_t>(hi | lo);
    out[i] = static_cast<uint8_t>((hi << 4) | (lo & 0x0f));
  }
  return static_cast<uint8_t>(bad & 0x10);
}

}  // namespace

void hex_encode(char* out, const uint8_t* in, std::size_t len) {
  std::size_t i = 0;
  for (; i + chunk <= len; i += chunk) encode_block(out + 2 * i, in + i, chunk);
  encode_block(out + 2 * i, in + i, len - i);
}

bool hex_decode(uint8_t* out, const char* in, std::size_t len) {
  uint8_t bad = 0;
  std::size_t i = 0;
  for (; i + chunk <= len; i += chunk) bad |= decode_block(out + i, in + 2 * i, chunk);
  bad |= decode_block(out + i, in + 2 * i, len - i);
  // Only the overall valid/invalid outcome is made public.
  ct::declassify(&bad, sizeof bad);
  return ct::value_barrier(bad) == 0;
}

}  // namespace kyber_alg::kyber
