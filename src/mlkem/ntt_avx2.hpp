// AVX2 versions of the NTT-domain arithmetic in ntt.hpp: the same operations
// in the same order on 16 coefficients at a time, so the results are
// bit-for-bit those of the portable code. Reached through the avx2 kernel table only.
#pragma once

#include <array>

#include "common/cpu.hpp"
#include "mlkem/params.hpp"

namespace kyber_alg::mlkem::avx2 {

void ntt(Poly& f);
void ntt_inverse(Poly& f);
void mul_cache(PolyMulCache& cache, const Poly& g);
// (A template's target attribute must be on its first declaration.)
template <int K>
KYBER_ALG_TARGET_AVX2 void multiply_accumulate(Poly& out, const Poly* const a[K],
                                               const std::array<Poly, K>& b,
                                               const std::array<PolyMulCache, K>& b_cache);
void to_montgomery(Poly& f);
void poly_reduce(Poly& f);
void poly_canonical(Poly& f);

}  // namespace kyber_alg::mlkem::avx2
