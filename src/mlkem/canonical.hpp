// The conditional add of q that takes signed residues to [0, q), without a
// branch on the (secret) sign: only ML-KEM's polynomial code needs it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR
#include <immintrin.h>
#endif

namespace kyber_alg::mlkem {

// x[i] += m wherever x[i] < 0: the conditional add of a modulus that brings
// signed residues into [0, m). The sign masks go through memory behind a
// barrier, so the compiler can neither see that they are 0 or all ones (and
// turn the masked add back into a branch) nor stop vectorising the loops.
template <std::size_t N>
inline void add_if_negative(std::array<int16_t, N>& x, int16_t m) {
  std::array<int16_t, N> negative;
  for (std::size_t i = 0; i < N; ++i) negative[i] = static_cast<int16_t>(x[i] >> 15);
#if defined(__GNUC__)
  __asm__ __volatile__("" : : "r"(negative.data()) : "memory");
#else
  volatile int16_t* opaque = negative.data();
  for (std::size_t i = 0; i < N; ++i) negative[i] = opaque[i];
#endif
  for (std::size_t i = 0; i < N; ++i) x[i] = static_cast<int16_t>(x[i] + (m & negative[i]));
}

#if KYBER_ALG_HAVE_X86_VECTOR
// add_if_negative on sixteen 16-bit lanes (AVX2 code only).
KYBER_ALG_TARGET_AVX2 inline __m256i add_if_negative_epi16(__m256i x, __m256i m) {
  __m256i negative = _mm256_srai_epi16(x, 15);
  __asm__("" : "+x"(negative));
  return _mm256_add_epi16(x, _mm256_and_si256(m, negative));
}
#endif

}  // namespace kyber_alg::mlkem
