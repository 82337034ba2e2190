// AVX2 versions of the NTT-domain arithmetic in ntt.hpp: the same operations
// in the same order on 16 coefficients at a time, so the results are
// bit-for-bit those of the portable code. Reached through avx2_kernels only.
#pragma once

#include "params.hpp"

namespace kyber_alg::kyber::avx2 {

void ntt(Poly& f);
void ntt_inverse(Poly& f);
void multiply_ntts(Poly& h, const Poly& f, const Poly& g);
void multiply_ntts_add(Poly& h, const Poly& f, const Poly& g);
void to_montgomery(Poly& f);
void poly_reduce(Poly& f);
void poly_canonical(Poly& f);

}  // namespace kyber_alg::kyber::avx2
