// AVX2 code (KYBER_ALG_TARGET_AVX2 functions), reached through avx2_kernels when the CPU has AVX2.
#include "ntt_avx2.hpp"

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include <immintrin.h>

#include <array>

#include "common/ct.hpp"
#include "ntt.hpp"
#include "ntt_tables.hpp"

namespace kyber_alg::kyber::avx2 {

namespace {

using tables::gammas;
using tables::zetas;

using Vec = __m256i;

// A constant c with c * q^-1 mod 2^16 precomputed, as fqmul needs both.
struct MontConst {
  Vec c, c_qinv;
};

constexpr int16_t times_qinv(int16_t c) { return static_cast<int16_t>(c * q_inv); }

inline KYBER_ALG_TARGET_AVX2 MontConst broadcast(int16_t c) {
  return {_mm256_set1_epi16(c), _mm256_set1_epi16(times_qinv(c))};
}

// Zetas for the transposed layers (distance 8, 4, 2): lane r of the
// vector for (len, h) holds the zeta of the butterfly group that row r's
// h-th group of 2*len coefficients belongs to. Slot (8/len - 1) + h.
struct LaneTable {
  alignas(32) int16_t c[16];
  alignas(32) int16_t c_qinv[16];
};

template <bool Inverse>
constexpr std::array<LaneTable, 7> make_lane_zetas() {
  std::array<LaneTable, 7> t{};
  for (int len = 8; len >= 2; len /= 2)
    for (int h = 0; h < 8 / len; ++h)
      for (int r = 0; r < 16; ++r) {
        const int group = (8 / len) * r + h;  // (16r + 2 len h) / (2 len)
        // Algorithm 9 counts i up from 128/len; Algorithm 10 counts down from 256/len - 1.
        const int16_t z = zetas[Inverse ? 256 / len - 1 - group : 128 / len + group];
        t[8 / len - 1 + h].c[r] = z;
        t[8 / len - 1 + h].c_qinv[r] = times_qinv(z);
      }
  return t;
}

constexpr std::array<LaneTable, 7> forward_lane_zetas = make_lane_zetas<false>();
constexpr std::array<LaneTable, 7> inverse_lane_zetas = make_lane_zetas<true>();

constexpr std::array<int16_t, 128> gammas_qinv = [] {
  std::array<int16_t, 128> t{};
  for (int i = 0; i < 128; ++i) t[i] = times_qinv(gammas[i]);
  return t;
}();

inline KYBER_ALG_TARGET_AVX2 Vec load_const(const int16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const Vec*>(p));
}

inline KYBER_ALG_TARGET_AVX2 MontConst lane_zetas(const LaneTable& e) {
  return {load_const(e.c), load_const(e.c_qinv)};
}

inline KYBER_ALG_TARGET_AVX2 Vec q_vec() { return _mm256_set1_epi16(q); }

// fqmul: a * c * 2^-16 mod q in (-q, q), as montgomery_reduce(a * c). The low
// halves of a*c and t*q are equal, so the difference of the high halves is
// exactly (a*c - t*q) / 2^16.
inline KYBER_ALG_TARGET_AVX2 Vec fqmul(Vec a, const MontConst& c) {
  const Vec hi = _mm256_mulhi_epi16(a, c.c);
  const Vec t = _mm256_mullo_epi16(a, c.c_qinv);
  return _mm256_sub_epi16(hi, _mm256_mulhi_epi16(t, q_vec()));
}

// fqmul of two variables.
inline KYBER_ALG_TARGET_AVX2 Vec fqmul(Vec a, Vec b) {
  const Vec hi = _mm256_mulhi_epi16(a, b);
  const Vec t = _mm256_mullo_epi16(_mm256_mullo_epi16(a, b), _mm256_set1_epi16(q_inv));
  return _mm256_sub_epi16(hi, _mm256_mulhi_epi16(t, q_vec()));
}

// barrett_reduce: t = (v*a + 2^25) >> 26 computed as ((v*a >> 16) + 2^9) >> 10.
inline KYBER_ALG_TARGET_AVX2 Vec barrett(Vec a) {
  constexpr int16_t v = ((1 << 26) + q / 2) / q;
  Vec t = _mm256_mulhi_epi16(a, _mm256_set1_epi16(v));
  t = _mm256_srai_epi16(_mm256_add_epi16(t, _mm256_set1_epi16(1 << 9)), 10);
  return _mm256_sub_epi16(a, _mm256_mullo_epi16(t, q_vec()));
}

// Cooley-Tukey butterfly of Algorithm 9.
inline KYBER_ALG_TARGET_AVX2 void ct_butterfly(Vec& a, Vec& b, const MontConst& z) {
  const Vec t = fqmul(b, z);
  b = _mm256_sub_epi16(a, t);
  a = _mm256_add_epi16(a, t);
}

// Gentleman-Sande butterfly of Algorithm 10.
inline KYBER_ALG_TARGET_AVX2 void gs_butterfly(Vec& a, Vec& b, const MontConst& z) {
  const Vec t = a;
  a = barrett(_mm256_add_epi16(t, b));
  b = fqmul(_mm256_sub_epi16(b, t), z);
}

// 8x8 transpose of 16-bit values inside each 128-bit half of x[0..7].
inline KYBER_ALG_TARGET_AVX2 void transpose8_halves(Vec* x) {
  Vec a[8], b[8];
  for (int i = 0; i < 4; ++i) {
    a[2 * i] = _mm256_unpacklo_epi16(x[2 * i], x[2 * i + 1]);
    a[2 * i + 1] = _mm256_unpackhi_epi16(x[2 * i], x[2 * i + 1]);
  }
  for (int i = 0; i < 2; ++i) {
    b[4 * i + 0] = _mm256_unpacklo_epi32(a[4 * i + 0], a[4 * i + 2]);
    b[4 * i + 1] = _mm256_unpackhi_epi32(a[4 * i + 0], a[4 * i + 2]);
    b[4 * i + 2] = _mm256_unpacklo_epi32(a[4 * i + 1], a[4 * i + 3]);
    b[4 * i + 3] = _mm256_unpackhi_epi32(a[4 * i + 1], a[4 * i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    x[2 * i] = _mm256_unpacklo_epi64(b[i], b[i + 4]);
    x[2 * i + 1] = _mm256_unpackhi_epi64(b[i], b[i + 4]);
  }
}

// Treats v[0..15] as a 16x16 matrix of coefficients (row r = coefficients
// 16r..16r+15) and transposes it, so that lane r of v[j] is coefficient
// 16r + j. The NTT layers with distance 8, 4 and 2 then pair whole vectors.
inline KYBER_ALG_TARGET_AVX2 void transpose16(Vec* v) {
  transpose8_halves(v);
  transpose8_halves(v + 8);
  for (int j = 0; j < 8; ++j) {
    const Vec lo = v[j], hi = v[j + 8];
    v[j] = _mm256_permute2x128_si256(lo, hi, 0x20);
    v[j + 8] = _mm256_permute2x128_si256(lo, hi, 0x31);
  }
}

inline KYBER_ALG_TARGET_AVX2 void load(Vec* v, const Poly& p) {
  for (int r = 0; r < 16; ++r) v[r] = _mm256_loadu_si256(reinterpret_cast<const Vec*>(p.c.data() + 16 * r));
}

inline KYBER_ALG_TARGET_AVX2 void store(Poly& p, const Vec* v) {
  for (int r = 0; r < 16; ++r) _mm256_storeu_si256(reinterpret_cast<Vec*>(p.c.data() + 16 * r), v[r]);
}

}  // namespace

namespace {

// One layer of Algorithm 9 with distance Len >= 16: butterflies between
// whole rows. Group g uses zeta 128/Len + g, as i counts up.
template <int Len>
inline KYBER_ALG_TARGET_AVX2 void forward_row_layer(Vec* v) {
  constexpr int rows = Len / 16;
  for (int g = 0; g < 8 / rows; ++g) {
    const MontConst z = broadcast(zetas[128 / Len + g]);
    for (int r = 2 * rows * g; r < 2 * rows * g + rows; ++r) ct_butterfly(v[r], v[r + rows], z);
  }
}

// One layer of Algorithm 9 with distance Len = 8, 4, 2 on the transposed
// matrix (lane r of v[j] is coefficient 16r + j): the h-th group of 2*Len
// coefficients of every row at once, with per-lane zetas.
template <int Len>
inline KYBER_ALG_TARGET_AVX2 void forward_lane_layer(Vec* v) {
  for (int h = 0; h < 8 / Len; ++h) {
    const MontConst z = lane_zetas(forward_lane_zetas[8 / Len - 1 + h]);
    for (int j = 2 * Len * h; j < 2 * Len * h + Len; ++j) ct_butterfly(v[j], v[j + Len], z);
  }
}

// The same for Algorithm 10, where i counts down: group g uses zeta 256/Len - 1 - g.
template <int Len>
inline KYBER_ALG_TARGET_AVX2 void inverse_lane_layer(Vec* v) {
  for (int h = 0; h < 8 / Len; ++h) {
    const MontConst z = lane_zetas(inverse_lane_zetas[8 / Len - 1 + h]);
    for (int j = 2 * Len * h; j < 2 * Len * h + Len; ++j) gs_butterfly(v[j], v[j + Len], z);
  }
}

template <int Len>
inline KYBER_ALG_TARGET_AVX2 void inverse_row_layer(Vec* v) {
  constexpr int rows = Len / 16;
  for (int g = 0; g < 8 / rows; ++g) {
    const MontConst z = broadcast(zetas[256 / Len - 1 - g]);
    for (int r = 2 * rows * g; r < 2 * rows * g + rows; ++r) gs_butterfly(v[r], v[r + rows], z);
  }
}

}  // namespace

KYBER_ALG_TARGET_AVX2 void ntt(Poly& p) {
  Vec v[16];
  load(v, p);
  forward_row_layer<128>(v);
  forward_row_layer<64>(v);
  forward_row_layer<32>(v);
  forward_row_layer<16>(v);
  transpose16(v);
  forward_lane_layer<8>(v);
  forward_lane_layer<4>(v);
  forward_lane_layer<2>(v);
  transpose16(v);
  store(p, v);
}

KYBER_ALG_TARGET_AVX2 void ntt_inverse(Poly& p) {
  Vec v[16];
  load(v, p);
  transpose16(v);
  inverse_lane_layer<2>(v);
  inverse_lane_layer<4>(v);
  inverse_lane_layer<8>(v);
  transpose16(v);
  inverse_row_layer<16>(v);
  inverse_row_layer<32>(v);
  inverse_row_layer<64>(v);
  inverse_row_layer<128>(v);
  const MontConst scale = broadcast(tables::inverse_ntt_scale);
  for (Vec& x : v) x = fqmul(x, scale);
  store(p, v);
}

namespace {

// Splits 32 coefficients (two rows) into their even- and odd-indexed ones,
// i.e. the a0 and a1 of 16 consecutive pairs.
inline KYBER_ALG_TARGET_AVX2 void deinterleave(Vec x, Vec y, Vec& even, Vec& odd) {
  const Vec mask = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15,  //
                                    0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
  // Each row becomes [8 even | 8 odd].
  x = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(x, mask), 0xd8);
  y = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(y, mask), 0xd8);
  even = _mm256_permute2x128_si256(x, y, 0x20);
  odd = _mm256_permute2x128_si256(x, y, 0x31);
}

// Inverse of deinterleave.
inline KYBER_ALG_TARGET_AVX2 void interleave(Vec even, Vec odd, Vec& x, Vec& y) {
  const Vec lo = _mm256_unpacklo_epi16(even, odd);  // pairs 0-3 | 8-11
  const Vec hi = _mm256_unpackhi_epi16(even, odd);  // pairs 4-7 | 12-15
  x = _mm256_permute2x128_si256(lo, hi, 0x20);
  y = _mm256_permute2x128_si256(lo, hi, 0x31);
}

template <bool Accumulate>
KYBER_ALG_TARGET_AVX2 void base_case_multiply_all(Poly& h, const Poly& f, const Poly& g) {
  for (int blk = 0; blk < 8; ++blk) {  // 16 pairs = 32 coefficients each
    const int16_t* fp = f.c.data() + 32 * blk;
    const int16_t* gp = g.c.data() + 32 * blk;
    Vec a0, a1, b0, b1;
    deinterleave(_mm256_loadu_si256(reinterpret_cast<const Vec*>(fp)),
                 _mm256_loadu_si256(reinterpret_cast<const Vec*>(fp + 16)), a0, a1);
    deinterleave(_mm256_loadu_si256(reinterpret_cast<const Vec*>(gp)),
                 _mm256_loadu_si256(reinterpret_cast<const Vec*>(gp + 16)), b0, b1);
    const MontConst gamma{load_const(gammas.data() + 16 * blk), load_const(gammas_qinv.data() + 16 * blk)};
    // Algorithm 12: c0 = a0 b0 + a1 b1 gamma, c1 = a0 b1 + a1 b0
    const Vec c0 = _mm256_add_epi16(fqmul(a0, b0), fqmul(fqmul(a1, b1), gamma));
    const Vec c1 = _mm256_add_epi16(fqmul(a0, b1), fqmul(a1, b0));
    Vec x, y;
    interleave(c0, c1, x, y);
    int16_t* hp = h.c.data() + 32 * blk;
    if constexpr (Accumulate) {
      x = _mm256_add_epi16(x, _mm256_loadu_si256(reinterpret_cast<const Vec*>(hp)));
      y = _mm256_add_epi16(y, _mm256_loadu_si256(reinterpret_cast<const Vec*>(hp + 16)));
    }
    _mm256_storeu_si256(reinterpret_cast<Vec*>(hp), barrett(x));
    _mm256_storeu_si256(reinterpret_cast<Vec*>(hp + 16), barrett(y));
  }
}

}  // namespace

KYBER_ALG_TARGET_AVX2 void multiply_ntts(Poly& h, const Poly& f, const Poly& g) {
  base_case_multiply_all<false>(h, f, g);
}

KYBER_ALG_TARGET_AVX2 void multiply_ntts_add(Poly& h, const Poly& f, const Poly& g) {
  base_case_multiply_all<true>(h, f, g);
}

KYBER_ALG_TARGET_AVX2 void to_montgomery(Poly& f) {
  const MontConst r2 = broadcast(tables::montgomery_r2);
  Vec v[16];
  load(v, f);
  for (Vec& x : v) x = fqmul(x, r2);
  store(f, v);
}

KYBER_ALG_TARGET_AVX2 void poly_reduce(Poly& f) {
  Vec v[16];
  load(v, f);
  for (Vec& x : v) x = barrett(x);
  store(f, v);
}

KYBER_ALG_TARGET_AVX2 void poly_canonical(Poly& f) {
  Vec v[16];
  load(v, f);
  for (Vec& x : v) {
    x = ct::add_if_negative_epi16(barrett(x), q_vec());
  }
  store(f, v);
}

}  // namespace kyber_alg::kyber::avx2

#endif  // KYBER_ALG_HAVE_X86_VECTOR
