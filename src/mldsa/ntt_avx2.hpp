// AVX2 versions of ntt.hpp: the same operations in the same order on eight
// coefficients at a time, so the results are bit-for-bit those of the
// portable code. Reached through the avx2 kernel table only.
#pragma once

#include "common/cpu.hpp"
#include "mldsa/params.hpp"

namespace kyber_alg::mldsa::avx2 {

void ntt(Poly& f);
void ntt_inverse(Poly& f);
void pointwise_montgomery(Poly& out, const Poly& a, const Poly& b);
void pointwise_accumulate(Poly& out, const Poly& a, const Poly& b);

}  // namespace kyber_alg::mldsa::avx2
