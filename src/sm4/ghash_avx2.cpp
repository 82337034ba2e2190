// GHASH with carry-less multiplies (PCLMULQDQ). A block is byte-swapped into
// a register so that it holds GCM's 128-bit integer (ghash.hpp); up to eight
// blocks are multiplied by descending powers of H and summed unreduced, then
// reduced once, with the same shifts as the portable code.
#include "sm4/ghash_avx2.hpp"

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR
#include <immintrin.h>

namespace kyber_alg::sm4 {
namespace {

struct Wide {
  __m128i high, middle, low;  // the three 128-bit partial products
};

KYBER_ALG_TARGET_AVX2 inline __m128i byte_swap(__m128i x) {
  return _mm_shuffle_epi8(x, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
}

KYBER_ALG_TARGET_AVX2 inline void multiply_add(Wide& acc, __m128i x, __m128i h) {
  acc.low = _mm_xor_si128(acc.low, _mm_clmulepi64_si128(x, h, 0x00));
  acc.high = _mm_xor_si128(acc.high, _mm_clmulepi64_si128(x, h, 0x11));
  acc.middle = _mm_xor_si128(
      acc.middle, _mm_xor_si128(_mm_clmulepi64_si128(x, h, 0x01), _mm_clmulepi64_si128(x, h, 0x10)));
}

// The 255-bit product, shifted left by one, reduced modulo x^128 + x^7 + x^2 + x + 1.
KYBER_ALG_TARGET_AVX2 inline __m128i reduce(const Wide& p) {
  __m128i hi = _mm_xor_si128(p.high, _mm_srli_si128(p.middle, 8));
  __m128i lo = _mm_xor_si128(p.low, _mm_slli_si128(p.middle, 8));
  const __m128i lo_carry = _mm_srli_epi64(lo, 63), hi_carry = _mm_srli_epi64(hi, 63);
  lo = _mm_or_si128(_mm_slli_epi64(lo, 1), _mm_slli_si128(lo_carry, 8));
  hi = _mm_or_si128(_mm_or_si128(_mm_slli_epi64(hi, 1), _mm_slli_si128(hi_carry, 8)),
                    _mm_srli_si128(lo_carry, 8));
  // Bits of the low word shifted out by 1, 2 and 7 go to the top word first.
  const __m128i overflow =
      _mm_xor_si128(_mm_xor_si128(_mm_slli_epi64(lo, 63), _mm_slli_epi64(lo, 62)), _mm_slli_epi64(lo, 57));
  const __m128i m = _mm_xor_si128(lo, _mm_slli_si128(overflow, 8));
  const __m128i right =
      _mm_xor_si128(_mm_xor_si128(_mm_srli_epi64(m, 1), _mm_srli_epi64(m, 2)), _mm_srli_epi64(m, 7));
  const __m128i across =
      _mm_xor_si128(_mm_xor_si128(_mm_slli_epi64(m, 63), _mm_slli_epi64(m, 62)), _mm_slli_epi64(m, 57));
  return _mm_xor_si128(_mm_xor_si128(hi, m), _mm_xor_si128(right, _mm_srli_si128(across, 8)));
}

KYBER_ALG_TARGET_AVX2 inline __m128i load_power(const GhashKey& key, std::size_t k) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(key.power[k - 1]));
}

// acc = (acc ^ X_0) * H^n ^ X_1 * H^(n-1) ^ ... ^ X_(n-1) * H, for n <= 8.
KYBER_ALG_TARGET_AVX2 inline __m128i hash_group(const GhashKey& key, __m128i acc, const uint8_t* data,
                                                std::size_t n) {
  Wide sum{_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
  for (std::size_t i = 0; i < n; ++i) {
    __m128i x = byte_swap(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)));
    if (i == 0) x = _mm_xor_si128(x, acc);
    multiply_add(sum, x, load_power(key, n - i));
  }
  return reduce(sum);
}

}  // namespace

KYBER_ALG_TARGET_AVX2 void ghash_blocks_avx2(const GhashKey& key, uint8_t y[16], const uint8_t* data,
                                             std::size_t blocks) {
  __m128i acc = byte_swap(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)));
  for (; blocks >= kGhashPowers; blocks -= kGhashPowers, data += 16 * kGhashPowers)
    acc = hash_group(key, acc, data, kGhashPowers);
  if (blocks > 0) acc = hash_group(key, acc, data, blocks);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(y), byte_swap(acc));
}

}  // namespace kyber_alg::sm4

#endif
