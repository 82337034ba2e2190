// The number-theoretic transform of FIPS 204 section 7.5 (Algorithms 41-45)
// over Z_q[X]/(X^256 + 1), with zeta = 1753, a 512th root of unity mod q.
#pragma once

#include "mldsa/params.hpp"

namespace kyber_alg::mldsa::portable {

// NTT (Algorithm 41) in place. Input |a_i| < q; output |a_i| < 9q.
void ntt(Poly& f);
// NTT^-1 (Algorithm 42) in place, times 2^32: applied to a product of
// pointwise_montgomery (which carries a factor 2^-32) it gives the plain
// product. Input |a_i| < 16q; output |a_i| < q.
void ntt_inverse(Poly& f);
// out_i = a_i * b_i * 2^-32 mod q (MultiplyNTT, Algorithm 45, in Montgomery
// form). Inputs |a_i|, |b_i| < 9q; output |out_i| < q.
void pointwise_montgomery(Poly& out, const Poly& a, const Poly& b);
// out_i += a_i * b_i * 2^-32 mod q, the same product accumulated.
void pointwise_accumulate(Poly& out, const Poly& a, const Poly& b);

}  // namespace kyber_alg::mldsa::portable
