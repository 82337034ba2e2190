// AVX2 versions of the NTT-domain arithmetic in ntt.h: the same operations
// in the same order on 16 coefficients at a time, so the results are
// bit-for-bit those of the portable code. Call only on the AVX2 path (use_avx2()).
#pragma once

#include "params.h"

namespace kyber_alg::kyber::avx2 {

void ntt(Poly& f);
void ntt_inverse(Poly& f);
void multiply_ntts(Poly& h, const Poly& f, const Poly& g);
void multiply_ntts_add(Poly& h, const Poly& f, const Poly& g);
void to_montgomery(Poly& f);
void poly_reduce(Poly& f);
void poly_canonical(Poly& f);

}  // namespace kyber_alg::kyber::avx2
