// The four-way Keccak-f[1600] with AVX-512VL instructions on the same 256-bit
// vectors (KYBER_ALG_TARGET_AVX512 functions), reached through the avx512 kernel table.
#include "mlkem/keccak_x4_avx512.hpp"
#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include "mlkem/keccak_x4_rounds.hpp"

namespace kyber_alg::mlkem::avx512 {

namespace {

using Vec = __m256i;

// AVX-512VL: one-instruction rotations, and ternary logic for the 5-way XOR
// (0x96 = a ^ b ^ c) and for chi (0xd2 = a ^ (~b & c)).
template <int R>
inline KYBER_ALG_TARGET_AVX512 Vec rotl_512(Vec x) {
  if constexpr (R == 0)
    return x;
  else
    return _mm256_rol_epi64(x, R);
}

inline KYBER_ALG_TARGET_AVX512 Vec xor5_512(Vec a, Vec b, Vec c, Vec d, Vec e) {
  return _mm256_ternarylogic_epi64(_mm256_ternarylogic_epi64(a, b, c, 0x96), d, e, 0x96);
}

inline KYBER_ALG_TARGET_AVX512 Vec chi_512(Vec b0, Vec b1, Vec b2) {
  return _mm256_ternarylogic_epi64(b0, b1, b2, 0xd2);
}

}  // namespace

KYBER_ALG_TARGET_AVX512 void keccak_f1600_x4(uint64_t states[100]) {
  Vec* s = reinterpret_cast<Vec*>(states);
  KECCAK_X4_PERMUTE(rotl_512, xor5_512, chi_512)
}

}  // namespace kyber_alg::mlkem::avx512

#endif  // KYBER_ALG_HAVE_X86_VECTOR
