// Arithmetic in Z_q and R_q: Montgomery and Barrett reduction, the NTT and
// its inverse (FIPS 203 Algorithms 9 and 10) and MultiplyNTTs (Algorithm 11).
#pragma once

#include "mlkem/kernels.hpp"
#include "mlkem/params.hpp"

namespace kyber_alg::mlkem {

// q^-1 mod 2^16, as a signed 16-bit value.
inline constexpr int16_t q_inv = -3327;
static_assert(((q * static_cast<int32_t>(q_inv)) & 0xffff) == 1);

// a * 2^-16 mod q: in (-q, q) for |a| < q * 2^15, and below |a| / 2^16 + q/2
// in size for any int32 a.
inline int16_t montgomery_reduce(int32_t a) {
  const int16_t t = static_cast<int16_t>(static_cast<int16_t>(a) * q_inv);
  return static_cast<int16_t>((a - static_cast<int32_t>(t) * q) >> 16);
}

// a * b * 2^-16 mod q; result in (-q, q).
inline int16_t fqmul(int16_t a, int16_t b) { return montgomery_reduce(static_cast<int32_t>(a) * b); }

// a mod q, for any int16 a; result in [-(q-1)/2, (q-1)/2].
inline int16_t barrett_reduce(int16_t a) {
  constexpr int32_t v = ((1 << 26) + q / 2) / q;
  const int16_t t = static_cast<int16_t>((v * a + (1 << 25)) >> 26);
  return static_cast<int16_t>(a - t * q);
}

// Algorithm 9. Input coefficients |f_i| < q; output |f_i| < 8q (not reduced).
inline void ntt(Poly& f) { kernels->ntt(f); }

// Algorithm 10, except the final factor: multiplies by 2^16 / 128 instead of
// 1 / 128, which cancels the 2^-16 that multiply_accumulate leaves. So it must be
// applied to a multiply_accumulate result. Input |f_i| < 2^14; output |f_i| < q.
inline void ntt_inverse(Poly& f) { kernels->ntt_inverse(f); }

// The multiply cache of g for MultiplyNTTs (see PolyMulCache); any g.
inline void mul_cache(PolyMulCache& cache, const Poly& g) { kernels->mul_cache(cache, g); }

// Algorithm 11 summed over a vector: out = sum_j a[j] x b[j] in T_q, times
// 2^-16 (Montgomery). Every |a_i| <= q and |b_i| < 8q (b may be an NTT
// output as it comes); output |out_i| < 2^14.
template <class P>
inline void multiply_accumulate(Poly& out, const Poly* const a[P::k], const typename P::PolyVec& b,
                                const typename P::MulCacheVec& b_cache) {
  kernels->for_set<P>().multiply_accumulate(out, a, b, b_cache);
}

// f <- f * 2^16 mod q: undoes the 2^-16 of multiply_accumulate. Output |f_i| < q.
inline void to_montgomery(Poly& f) { kernels->to_montgomery(f); }

// Every coefficient to [-(q-1)/2, (q-1)/2].
inline void poly_reduce(Poly& f) { kernels->poly_reduce(f); }
// Every coefficient to [0, q).
inline void poly_canonical(Poly& f) { kernels->poly_canonical(f); }

void poly_add(Poly& f, const Poly& g);  // f += g (no reduction)
void poly_sub(Poly& f, const Poly& g);  // f -= g (no reduction)

// The portable versions of the kernels above.
namespace portable {
void ntt(Poly& f);
void ntt_inverse(Poly& f);
void mul_cache(PolyMulCache& cache, const Poly& g);
template <int K>
void multiply_accumulate(Poly& out, const Poly* const a[K], const std::array<Poly, K>& b,
                         const std::array<PolyMulCache, K>& b_cache);
void to_montgomery(Poly& f);
void poly_reduce(Poly& f);
void poly_canonical(Poly& f);
}  // namespace portable

}  // namespace kyber_alg::mlkem
