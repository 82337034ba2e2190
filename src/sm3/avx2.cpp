// SM3 compression on the avx2 path. CF is one serial chain of rounds, so the
// rounds stay scalar (BMI1 and BMI2 give andn and rorx: choices and rotations
// without register copies). The message expansion runs in vector registers, four
// words W_4k..W_4k+3 at a time, beside the rounds: it then takes no slots from
// the integer units the rounds are bound by. Each group of words is formed
// twelve rounds before its first use and stored together with W'_j = W_j ^
// W_(j+4), so the rounds read both as memory operands of their additions.
#include "sm3/kernels.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR
#include <immintrin.h>

#include <utility>

#include "sm3/rounds.hpp"

namespace kyber_alg::sm3 {
namespace {

template <int kBits>
KYBER_ALG_TARGET_AVX2 inline __m128i rotl_lanes(__m128i x) {
  return _mm_or_si128(_mm_slli_epi32(x, kBits), _mm_srli_epi32(x, 32 - kBits));
}

// P1 on four words. x <<< 23 is (x <<< 15) <<< 8, a byte shuffle.
KYBER_ALG_TARGET_AVX2 inline __m128i p1_lanes(__m128i x) {
  const __m128i rotl8 = _mm_setr_epi8(3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14);
  const __m128i r15 = rotl_lanes<15>(x);
  return _mm_xor_si128(_mm_xor_si128(x, r15), _mm_shuffle_epi8(r15, rotl8));
}

// Message expansion of W_j..W_(j+3), j = 4k, from the sixteen words before
// them, held as x4 = W_(j-16..j-13), x3, x2, x1 = W_(j-4..j-1). W_(j+3) needs
// W_j: its lane is first formed with W_j taken as zero, then corrected. P1 is
// linear (XORs of rotations), so the missing term is P1(W_j <<< 15) on its own.
KYBER_ALG_TARGET_AVX2 inline __m128i expand_four_words(__m128i x4, __m128i x3, __m128i x2, __m128i x1) {
  const __m128i w_minus9 = _mm_alignr_epi8(x2, x3, 12);   // W_(j-9..j-6)
  const __m128i w_minus13 = _mm_alignr_epi8(x3, x4, 12);  // W_(j-13..j-10)
  const __m128i w_minus6 = _mm_alignr_epi8(x1, x2, 8);    // W_(j-6..j-3)
  const __m128i w_minus3 = _mm_srli_si128(x1, 4);         // W_(j-3..j-1), 0
  const __m128i inner = _mm_xor_si128(_mm_xor_si128(x4, w_minus9), rotl_lanes<15>(w_minus3));
  __m128i w = _mm_xor_si128(_mm_xor_si128(p1_lanes(inner), rotl_lanes<7>(w_minus13)), w_minus6);
  const __m128i w_j_in_last_lane = _mm_slli_si128(w, 12);
  return _mm_xor_si128(w, p1_lanes(rotl_lanes<15>(w_j_in_last_lane)));
}

// Four rounds j = 4k..4k+3 of CF.
template <int kGroup>
KYBER_ALG_TARGET_AVX2 inline void four_rounds(Registers& r, const uint32_t w[], const uint32_t w_prime[]) {
  constexpr bool kHigh = kGroup >= 4;
#pragma GCC unroll 4
  for (int j = 4 * kGroup; j < 4 * kGroup + 4; ++j) round<kHigh, true>(r, w[j], w_prime[j], kRotatedT[j]);
}

// Group k of the schedule: forms W for group k + 4 and W' for group k + 3,
// then runs the rounds of group k.
template <int kGroup>
KYBER_ALG_TARGET_AVX2 inline void schedule_group(Registers& r, __m128i x[17], uint32_t w[64],
                                                 uint32_t w_prime[64]) {
  if constexpr (kGroup + 4 <= 16) {
    x[kGroup + 4] = expand_four_words(x[kGroup], x[kGroup + 1], x[kGroup + 2], x[kGroup + 3]);
    if constexpr (kGroup + 4 < 16)
      _mm_store_si128(reinterpret_cast<__m128i*>(w + 4 * (kGroup + 4)), x[kGroup + 4]);
  }
  if constexpr (kGroup + 3 < 16)
    _mm_store_si128(reinterpret_cast<__m128i*>(w_prime + 4 * (kGroup + 3)),
                    _mm_xor_si128(x[kGroup + 3], x[kGroup + 4]));
  // The rounds read the words back from memory, as memory operands of their
  // additions; without this the compiler extracts each word from its vector
  // register with an extra two-uop instruction per word.
  __asm__("" : : "r"(w), "r"(w_prime) : "memory");
  four_rounds<kGroup>(r, w, w_prime);
}

template <int... kGroups>
KYBER_ALG_TARGET_AVX2 inline void all_groups(Registers& r, __m128i x[17], uint32_t w[64],
                                             uint32_t w_prime[64], std::integer_sequence<int, kGroups...>) {
  (schedule_group<kGroups>(r, x, w, w_prime), ...);
}

KYBER_ALG_TARGET_AVX2 void compress_block_avx2(uint32_t v[8], const uint8_t* block) {
  const __m128i big_endian = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
  alignas(16) uint32_t w[64];
  alignas(16) uint32_t w_prime[64];
  __m128i x[17];  // x[k] = W_4k..W_(4k+3)
  for (int k = 0; k < 4; ++k) {
    x[k] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * k)), big_endian);
    _mm_store_si128(reinterpret_cast<__m128i*>(w + 4 * k), x[k]);
  }
  for (int k = 0; k < 3; ++k)
    _mm_store_si128(reinterpret_cast<__m128i*>(w_prime + 4 * k), _mm_xor_si128(x[k], x[k + 1]));
  Registers r = load_registers(v);
  all_groups(r, x, w, w_prime, std::make_integer_sequence<int, 16>{});
  fold_registers(v, r);
}

KYBER_ALG_TARGET_AVX2 void compress_blocks_avx2(uint32_t v[8], const uint8_t* data, std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) compress_block_avx2(v, data + 64 * i);
}

const Kernels kAvx2 = {compress_blocks_avx2};

}  // namespace

const Kernels* const kAvx2Kernels = &kAvx2;

}  // namespace kyber_alg::sm3

#else

namespace kyber_alg::sm3 {
const Kernels* const kAvx2Kernels = nullptr;
}  // namespace kyber_alg::sm3

#endif
