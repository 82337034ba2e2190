// AVX2 code (KYBER_ALG_TARGET_AVX2 functions), reached through avx2_kernels when the CPU has AVX2.
#include "encoding_avx2.hpp"

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include <immintrin.h>

#include <cstring>

namespace kyber_alg::kyber::avx2 {

namespace {
using Vec = __m256i;
}

KYBER_ALG_TARGET_AVX2 void byte_encode_12(uint8_t out[poly_bytes], const Poly& f) {
  // 16 coefficients -> 8 dwords a + 4096 b -> 24 bytes.
  const Vec weights = _mm256_set1_epi32(1 | (4096 << 16));
  const Vec pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                    0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const Vec join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  for (int i = 0; i < 16; ++i) {
    const Vec x = _mm256_loadu_si256(reinterpret_cast<const Vec*>(f.c.data() + 16 * i));
    Vec y = _mm256_madd_epi16(x, weights);
    y = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(y, pack), join);
    alignas(32) uint8_t bytes[32];
    _mm256_store_si256(reinterpret_cast<Vec*>(bytes), y);
    std::memcpy(out + 24 * i, bytes, 24);
  }
}

KYBER_ALG_TARGET_AVX2 void byte_decode_12_raw(Poly& f, const uint8_t in[poly_bytes]) {
  // 24 bytes -> 16 values: even words (b0 | b1 << 8) & 0xfff, odd words (b1 | b2 << 8) >> 4.
  const Vec spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
  const Vec pairs = _mm256_setr_epi8(0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11,  //
                                     0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11);
  const Vec low12 = _mm256_set1_epi16(0x0fff);
  for (int i = 0; i < 16; ++i) {
    alignas(32) uint8_t bytes[32] = {};
    std::memcpy(bytes, in + 24 * i, 24);  // never reads past the 384 input bytes
    Vec x = _mm256_load_si256(reinterpret_cast<const Vec*>(bytes));
    x = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(x, spread), pairs);
    const Vec d = _mm256_blend_epi16(_mm256_and_si256(x, low12), _mm256_srli_epi16(x, 4), 0xaa);
    _mm256_storeu_si256(reinterpret_cast<Vec*>(f.c.data() + 16 * i), d);
  }
}

}  // namespace kyber_alg::kyber::avx2

#endif  // KYBER_ALG_HAVE_X86_VECTOR
