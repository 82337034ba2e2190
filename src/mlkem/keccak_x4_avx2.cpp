// The four-way Keccak-f[1600] on AVX2 (KYBER_ALG_TARGET_AVX2 functions),
// reached through the avx2 kernel table when the CPU has AVX2.
#include "mlkem/keccak_x4_avx2.hpp"
#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include "mlkem/keccak_x4_rounds.hpp"

namespace kyber_alg::mlkem::avx2 {

namespace {

using Vec = __m256i;

template <int R>
inline KYBER_ALG_TARGET_AVX2 Vec rotl(Vec x) {
  if constexpr (R == 0) {
    return x;
  } else if constexpr (R == 8) {  // byte rotations are a single shuffle
    const Vec m = _mm256_setr_epi8(7, 0, 1, 2, 3, 4, 5, 6, 15, 8, 9, 10, 11, 12, 13, 14,  //
                                   7, 0, 1, 2, 3, 4, 5, 6, 15, 8, 9, 10, 11, 12, 13, 14);
    return _mm256_shuffle_epi8(x, m);
  } else if constexpr (R == 56) {
    const Vec m = _mm256_setr_epi8(1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8,  //
                                   1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8);
    return _mm256_shuffle_epi8(x, m);
  } else {
    return _mm256_or_si256(_mm256_slli_epi64(x, R), _mm256_srli_epi64(x, 64 - R));
  }
}

inline KYBER_ALG_TARGET_AVX2 Vec xor5(Vec a, Vec b, Vec c, Vec d, Vec e) {
  return _mm256_xor_si256(_mm256_xor_si256(_mm256_xor_si256(a, b), _mm256_xor_si256(c, d)), e);
}

// chi: b0 ^ (~b1 & b2)
inline KYBER_ALG_TARGET_AVX2 Vec chi(Vec b0, Vec b1, Vec b2) {
  return _mm256_xor_si256(b0, _mm256_andnot_si256(b1, b2));
}

}  // namespace

KYBER_ALG_TARGET_AVX2 void keccak_f1600_x4(uint64_t states[100]) {
  Vec* s = reinterpret_cast<Vec*>(states);
  KECCAK_X4_PERMUTE(rotl, xor5, chi)
}

}  // namespace kyber_alg::mlkem::avx2

#endif  // KYBER_ALG_HAVE_X86_VECTOR
