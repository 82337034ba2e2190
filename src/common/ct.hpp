// Constant-time helpers: every secret-dependent choice in the native code
// goes through these, so that no branch or memory index depends on a secret.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR
#include <immintrin.h>
#endif

#ifdef KYBER_ALG_CTGRIND
#include <valgrind/memcheck.h>
#endif

namespace kyber_alg::ct {

// Opaque to the optimiser: stops it from proving a mask is 0/1 and turning
// the masked arithmetic back into a branch. For an unsigned word of any width.
template <class Word>
inline Word value_barrier(Word x) {
  static_assert(std::is_unsigned_v<Word>);
#if defined(__GNUC__)
  __asm__("" : "+r"(x));
  return x;
#else
  volatile Word v = x;
  return v;
#endif
}

// All ones if x != 0, zero otherwise.
inline uint32_t mask_nonzero(uint32_t x) {
  x = value_barrier(x);
  return 0u - ((x | (0u - x)) >> 31);
}

// All ones if x == 0, zero otherwise.
inline uint32_t mask_zero(uint32_t x) { return ~mask_nonzero(x); }

// All ones if a < b, zero otherwise; a and b below 2^31.
inline uint32_t mask_lt(uint32_t a, uint32_t b) { return 0u - (value_barrier(a - b) >> 31); }

// 0xff if a < b, else 0x00. No barrier here: it is meant for loops over
// whole buffers (hex), which the compiler vectorises into compare
// instructions; the valgrind check covers the emitted code.
inline uint8_t lt_mask8(uint8_t a, uint8_t b) { return static_cast<uint8_t>(-static_cast<uint8_t>(a < b)); }

// 64-bit word versions, for code that works on multi-limb numbers.

// All ones if x != 0, zero otherwise.
inline uint64_t mask64_nonzero(uint64_t x) {
  x = value_barrier(x);
  return 0 - ((x | (0 - x)) >> 63);
}

inline uint64_t mask64_zero(uint64_t x) { return ~mask64_nonzero(x); }

// All ones if bit (0 or 1) is set.
inline uint64_t mask64_from_bit(uint64_t bit) { return 0 - value_barrier(bit); }

// dst = mask ? src : dst, word by word, for mask 0 or all ones.
inline void select_words(uint64_t* dst, const uint64_t* src, std::size_t words, uint64_t mask) {
  for (std::size_t i = 0; i < words; ++i) dst[i] ^= mask & (dst[i] ^ src[i]);
}

// All ones if a[0..len) equals b[0..len); always reads every byte.
inline uint8_t equal_mask(const uint8_t* a, const uint8_t* b, std::size_t len) {
  uint8_t diff = 0;
  for (std::size_t i = 0; i < len; ++i) diff |= static_cast<uint8_t>(a[i] ^ b[i]);
  return static_cast<uint8_t>(mask_zero(diff));
}

// dst = mask ? src : dst, for mask 0x00 or 0xff.
inline void select(uint8_t* dst, const uint8_t* src, std::size_t len, uint8_t mask) {
  for (std::size_t i = 0; i < len; ++i) dst[i] = static_cast<uint8_t>(dst[i] ^ (mask & (dst[i] ^ src[i])));
}

// Zeroes memory; the asm barrier keeps the compiler from dropping the store
// to a buffer that is about to go out of scope. The length is hidden from the
// optimiser so that the zeroing is a call to the C library's memset (vector
// stores) rather than an inline `rep stos`, whose start-up cost is larger than
// the whole job for the short objects wiped on every call.
inline void wipe(void* p, std::size_t len) {
  std::memset(p, 0, value_barrier(len));
#if defined(__GNUC__)
  __asm__ __volatile__("" : : "r"(p) : "memory");
#else
  volatile unsigned char* v = static_cast<volatile unsigned char*>(p);
  for (std::size_t i = 0; i < len; ++i) v[i] = 0;
#endif
}

template <class T>
inline void wipe_object(T& obj) {
  wipe(&obj, sizeof obj);
}

// Secret wiped on scope exit, however the scope is left.
template <class T>
struct Wiped {
  T value{};
  Wiped() = default;
  Wiped(const Wiped&) = delete;
  Wiped& operator=(const Wiped&) = delete;
  ~Wiped() { wipe_object(value); }
};

// For the valgrind constant-time check (KYBER_ALG_CTGRIND builds only):
// declassify marks a value derived from secrets as public because the
// algorithm publishes it anyway (e.g. rho, which is part of ek).
inline void declassify([[maybe_unused]] const void* p, [[maybe_unused]] std::size_t len) {
#ifdef KYBER_ALG_CTGRIND
  VALGRIND_MAKE_MEM_DEFINED(p, len);
#endif
}

// The opposite, for secrets the library draws itself (nonces, private keys
// from the OS): marks them undefined so the valgrind check follows them.
inline void classify([[maybe_unused]] const void* p, [[maybe_unused]] std::size_t len) {
#ifdef KYBER_ALG_CTGRIND
  VALGRIND_MAKE_MEM_UNDEFINED(p, len);
#endif
}

}  // namespace kyber_alg::ct
