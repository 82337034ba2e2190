// AVX2 parts of sampling: rejection sampling 16 candidates at a time and
// SamplePolyCBD. Same results as the portable code. Call only when
// use_avx2().
#pragma once

#include "params.h"

namespace kyber_alg::kyber::avx2 {

// Runs the Algorithm 7 loop over buf while at least 16 free coefficients and
// 32 readable bytes remain; updates count and returns the bytes consumed (a
// multiple of 3). The caller finishes with the portable loop.
std::size_t parse_uniform_prefix(Poly& a, int& count, const uint8_t* buf, std::size_t len);

// Algorithm 8 for eta = 2 (reads 128 bytes) and eta = 3 (reads 192 bytes,
// and up to 8 bytes beyond them, which must be readable).
void sample_poly_cbd2(Poly& f, const uint8_t* bytes);
void sample_poly_cbd3(Poly& f, const uint8_t* bytes);

}  // namespace kyber_alg::kyber::avx2
