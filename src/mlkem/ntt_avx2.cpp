// AVX2 code (KYBER_ALG_TARGET_AVX2 functions), reached through the avx2 kernel table when the CPU has AVX2.
#include "mlkem/ntt_avx2.hpp"

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include <immintrin.h>

#include <array>

#include "mlkem/canonical.hpp"
#include "mlkem/ntt.hpp"
#include "mlkem/ntt_tables.hpp"

namespace kyber_alg::mlkem::avx2 {

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

// gamma_i at the odd position of pair i (the b1 that is multiplied by it),
// 1 at the even positions; and the same times q^-1, for fqmul.
constexpr std::array<int16_t, n> pair_gammas = [] {
  std::array<int16_t, n> t{};
  for (int i = 0; i < 128; ++i) t[2 * i] = 1, t[2 * i + 1] = gammas[i];
  return t;
}();
constexpr std::array<int16_t, n> pair_gammas_qinv = [] {
  std::array<int16_t, n> t{};
  for (int i = 0; i < n; ++i) t[i] = times_qinv(pair_gammas[i]);
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

KYBER_ALG_TARGET_AVX2 void mul_cache(PolyMulCache& cache, const Poly& g) {
  for (int r = 0; r < 16; ++r) {
    const Vec x = _mm256_loadu_si256(reinterpret_cast<const Vec*>(g.c.data() + 16 * r));
    const MontConst gamma{load_const(pair_gammas.data() + 16 * r),
                          load_const(pair_gammas_qinv.data() + 16 * r)};
    // The even words keep g_2i; the odd ones become g_2i+1 * gamma_i.
    const Vec c = _mm256_blend_epi16(x, fqmul(x, gamma), 0xaa);
    _mm256_storeu_si256(reinterpret_cast<Vec*>(cache.c.data() + 16 * r), c);
  }
}

namespace {

// montgomery_reduce on eight 32-bit sums: the low word of each lane gives
// t = a * q^-1 mod 2^16, and (a - t q) / 2^16 = (a >> 16) - (t q >> 16)
// exactly, since the low words cancel. Results in the 32-bit lanes.
inline KYBER_ALG_TARGET_AVX2 Vec montgomery_reduce_epi32(Vec a) {
  const Vec t = _mm256_mullo_epi16(a, _mm256_set1_epi16(q_inv));
  const Vec tq_high = _mm256_mulhi_epi16(t, q_vec());
  return _mm256_srai_epi32(_mm256_sub_epi32(a, _mm256_slli_epi32(tq_high, 16)), 16);
}

}  // namespace

// Each madd of a pair (a0, a1) with (b0, b1 gamma) gives c0 of that pair in
// 32 bits, with (b1, b0) gives c1: the portable sums, term for term.
template <int K>
KYBER_ALG_TARGET_AVX2 void multiply_accumulate(Poly& out, const Poly* const a[K],
                                               const std::array<Poly, K>& b,
                                               const std::array<PolyMulCache, K>& b_cache) {
  const Vec swap_pairs = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13,  //
                                          2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
  for (int r = 0; r < 16; ++r) {
    Vec c0 = _mm256_setzero_si256(), c1 = _mm256_setzero_si256();
    for (int j = 0; j < K; ++j) {
      const Vec x = _mm256_loadu_si256(reinterpret_cast<const Vec*>(a[j]->c.data() + 16 * r));
      const Vec y = _mm256_loadu_si256(reinterpret_cast<const Vec*>(b[j].c.data() + 16 * r));
      const Vec yc = _mm256_loadu_si256(reinterpret_cast<const Vec*>(b_cache[j].c.data() + 16 * r));
      c0 = _mm256_add_epi32(c0, _mm256_madd_epi16(x, yc));
      c1 = _mm256_add_epi32(c1, _mm256_madd_epi16(x, _mm256_shuffle_epi8(y, swap_pairs)));
    }
    // c0 of pair i to word 2i, c1 to word 2i+1.
    const Vec h = _mm256_blend_epi16(montgomery_reduce_epi32(c0),
                                     _mm256_slli_epi32(montgomery_reduce_epi32(c1), 16), 0xaa);
    _mm256_storeu_si256(reinterpret_cast<Vec*>(out.c.data() + 16 * r), h);
  }
}

template void multiply_accumulate<2>(Poly&, const Poly* const[2], const std::array<Poly, 2>&,
                                     const std::array<PolyMulCache, 2>&);
template void multiply_accumulate<3>(Poly&, const Poly* const[3], const std::array<Poly, 3>&,
                                     const std::array<PolyMulCache, 3>&);
template void multiply_accumulate<4>(Poly&, const Poly* const[4], const std::array<Poly, 4>&,
                                     const std::array<PolyMulCache, 4>&);

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
    x = add_if_negative_epi16(barrett(x), q_vec());
  }
  store(f, v);
}

}  // namespace kyber_alg::mlkem::avx2

#endif  // KYBER_ALG_HAVE_X86_VECTOR
