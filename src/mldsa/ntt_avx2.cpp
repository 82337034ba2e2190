#include "mldsa/ntt_avx2.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include <immintrin.h>

#include <array>

#include "mldsa/ntt_tables.hpp"

namespace kyber_alg::mldsa::avx2 {

namespace {

// The last three layers (len 4, 2, 1) work inside blocks of eight
// coefficients. They run on a transposed chunk of 64 coefficients: vector k
// holds coefficient k of the chunk's eight blocks, lane i block i, so each
// butterfly pairs two whole vectors and its factors, one per block, are a
// vector as well. small_zetas[layer][chunk][group][lane], for layer 0, 1, 2
// = len 4, 2, 1 (1, 2 and 4 groups per block).
struct SmallZetas {
  alignas(32) int32_t forward[3][4][4][8];
  alignas(32) int32_t inverse[3][4][4][8];
};

consteval SmallZetas make_small_zetas() {
  SmallZetas t{};
  for (int layer = 0; layer < 3; ++layer) {
    const int len = 4 >> layer, groups = 1 << layer;
    for (int chunk = 0; chunk < 4; ++chunk)
      for (int g = 0; g < groups; ++g)
        for (int lane = 0; lane < 8; ++lane) {
          const int s = (8 * chunk + lane) * groups + g;
          t.forward[layer][chunk][g][lane] = forward_zeta(len, s);
          t.inverse[layer][chunk][g][lane] = inverse_zeta(len, s);
        }
  }
  return t;
}

constexpr SmallZetas small_zetas = make_small_zetas();

// Per 32-bit lane: a * b * 2^-32 mod q, as montgomery_mul.
KYBER_ALG_TARGET_AVX2 inline __m256i montgomery_mul8(__m256i a, __m256i b) {
  const __m256i q_vec = _mm256_set1_epi32(q);
  const __m256i q_inv_vec = _mm256_set1_epi32(static_cast<int32_t>(q_inv));
  const __m256i even = _mm256_mul_epi32(a, b);
  const __m256i odd = _mm256_mul_epi32(_mm256_srli_epi64(a, 32), _mm256_srli_epi64(b, 32));
  const __m256i t_even = _mm256_mul_epi32(even, q_inv_vec);
  const __m256i t_odd = _mm256_mul_epi32(odd, q_inv_vec);
  const __m256i r_even = _mm256_sub_epi64(even, _mm256_mul_epi32(t_even, q_vec));
  const __m256i r_odd = _mm256_sub_epi64(odd, _mm256_mul_epi32(t_odd, q_vec));
  return _mm256_blend_epi32(_mm256_srli_epi64(r_even, 32), r_odd, 0xaa);
}

// Per lane, as reduce32.
KYBER_ALG_TARGET_AVX2 inline __m256i reduce32_8(__m256i a) {
  const __m256i t = _mm256_srai_epi32(_mm256_add_epi32(a, _mm256_set1_epi32(1 << 22)), 23);
  return _mm256_sub_epi32(a, _mm256_mullo_epi32(t, _mm256_set1_epi32(q)));
}

KYBER_ALG_TARGET_AVX2 inline void forward_butterfly(__m256i& a, __m256i& b, __m256i z) {
  const __m256i t = montgomery_mul8(z, b);
  b = _mm256_sub_epi32(a, t);
  a = _mm256_add_epi32(a, t);
}

KYBER_ALG_TARGET_AVX2 inline void inverse_butterfly(__m256i& a, __m256i& b, __m256i z) {
  const __m256i t = a;
  a = reduce32_8(_mm256_add_epi32(t, b));
  b = montgomery_mul8(z, _mm256_sub_epi32(t, b));
}

// 8x8 transpose of 32-bit lanes (its own inverse).
KYBER_ALG_TARGET_AVX2 inline void transpose8(__m256i r[8]) {
  __m256i t[8], u[8];
  for (int i = 0; i < 4; ++i) {
    t[2 * i] = _mm256_unpacklo_epi32(r[2 * i], r[2 * i + 1]);
    t[2 * i + 1] = _mm256_unpackhi_epi32(r[2 * i], r[2 * i + 1]);
  }
  for (int h = 0; h < 2; ++h) {
    u[4 * h + 0] = _mm256_unpacklo_epi64(t[4 * h + 0], t[4 * h + 2]);
    u[4 * h + 1] = _mm256_unpackhi_epi64(t[4 * h + 0], t[4 * h + 2]);
    u[4 * h + 2] = _mm256_unpacklo_epi64(t[4 * h + 1], t[4 * h + 3]);
    u[4 * h + 3] = _mm256_unpackhi_epi64(t[4 * h + 1], t[4 * h + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    r[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
    r[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
  }
}

KYBER_ALG_TARGET_AVX2 inline __m256i load(const int32_t* p) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

KYBER_ALG_TARGET_AVX2 inline void store(int32_t* p, __m256i v) {
  _mm256_store_si256(reinterpret_cast<__m256i*>(p), v);
}

}  // namespace

KYBER_ALG_TARGET_AVX2 void ntt(Poly& f) {
  for (int len = 128; len >= 8; len >>= 1) {
    for (int s = 0, start = 0; start < n; ++s, start += 2 * len) {
      const __m256i z = _mm256_set1_epi32(forward_zeta(len, s));
      for (int j = start; j < start + len; j += 8) {
        __m256i a = load(f.c + j), b = load(f.c + j + len);
        forward_butterfly(a, b, z);
        store(f.c + j, a);
        store(f.c + j + len, b);
      }
    }
  }
  for (int chunk = 0; chunk < 4; ++chunk) {
    __m256i r[8];
    for (int k = 0; k < 8; ++k) r[k] = load(f.c + 64 * chunk + 8 * k);
    transpose8(r);
    const auto& z = small_zetas.forward;
    for (int k = 0; k < 4; ++k) forward_butterfly(r[k], r[k + 4], load(z[0][chunk][0]));
    for (int k : {0, 1, 4, 5}) forward_butterfly(r[k], r[k + 2], load(z[1][chunk][k / 4]));
    for (int k : {0, 2, 4, 6}) forward_butterfly(r[k], r[k + 1], load(z[2][chunk][k / 2]));
    transpose8(r);
    for (int k = 0; k < 8; ++k) store(f.c + 64 * chunk + 8 * k, r[k]);
  }
}

KYBER_ALG_TARGET_AVX2 void ntt_inverse(Poly& f) {
  for (int chunk = 0; chunk < 4; ++chunk) {
    __m256i r[8];
    for (int k = 0; k < 8; ++k) r[k] = load(f.c + 64 * chunk + 8 * k);
    transpose8(r);
    const auto& z = small_zetas.inverse;
    for (int k : {0, 2, 4, 6}) inverse_butterfly(r[k], r[k + 1], load(z[2][chunk][k / 2]));
    for (int k : {0, 1, 4, 5}) inverse_butterfly(r[k], r[k + 2], load(z[1][chunk][k / 4]));
    for (int k = 0; k < 4; ++k) inverse_butterfly(r[k], r[k + 4], load(z[0][chunk][0]));
    transpose8(r);
    for (int k = 0; k < 8; ++k) store(f.c + 64 * chunk + 8 * k, r[k]);
  }
  for (int len = 8; len < n; len <<= 1) {
    for (int s = 0, start = 0; start < n; ++s, start += 2 * len) {
      const __m256i z = _mm256_set1_epi32(inverse_zeta(len, s));
      for (int j = start; j < start + len; j += 8) {
        __m256i a = load(f.c + j), b = load(f.c + j + len);
        inverse_butterfly(a, b, z);
        store(f.c + j, a);
        store(f.c + j + len, b);
      }
    }
  }
  const __m256i scale = _mm256_set1_epi32(inverse_scale);
  for (int j = 0; j < n; j += 8) store(f.c + j, montgomery_mul8(scale, load(f.c + j)));
}

KYBER_ALG_TARGET_AVX2 void pointwise_montgomery(Poly& out, const Poly& a, const Poly& b) {
  for (int j = 0; j < n; j += 8) store(out.c + j, montgomery_mul8(load(a.c + j), load(b.c + j)));
}

KYBER_ALG_TARGET_AVX2 void pointwise_accumulate(Poly& out, const Poly& a, const Poly& b) {
  for (int j = 0; j < n; j += 8)
    store(out.c + j, _mm256_add_epi32(load(out.c + j), montgomery_mul8(load(a.c + j), load(b.c + j))));
}

}  // namespace kyber_alg::mldsa::avx2

#endif  // KYBER_ALG_HAVE_X86_VECTOR
