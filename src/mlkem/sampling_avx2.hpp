// AVX2 parts of sampling: the matrix and the noise polynomials from four
// sponges at once, rejection sampling 16 candidates at a time and
// SamplePolyCBD. Same results as the portable code. Reached through
// avx2_kernels only.
#pragma once

#include <cstddef>

#include "params.hpp"

namespace kyber_alg::kyber::avx2 {

// Runs the Algorithm 7 loop over buf while at least 16 free coefficients and
// 32 readable bytes remain; updates count and returns the bytes consumed (a
// multiple of 3). The caller finishes with the portable loop.
std::size_t parse_uniform_prefix(Poly& a, int& count, const uint8_t* buf, std::size_t len);

// Algorithm 8 for eta = 2 (reads 128 bytes) and eta = 3 (reads 192 bytes,
// and up to 8 bytes beyond them, which must be readable).
void sample_poly_cbd2(Poly& f, const uint8_t* bytes);
void sample_poly_cbd3(Poly& f, const uint8_t* bytes);

// The sample_matrix and sample_noise_x4 kernels (sampling.hpp), on KeccakX4.
void sample_matrix(PolyMat& a, const uint8_t rho[32], bool transpose);
template <int EtaA, int EtaB>
void sample_noise_x4(Poly& p0, Poly& p1, Poly& p2, Poly& p3, const uint8_t seed[32], uint8_t nonce);

}  // namespace kyber_alg::kyber::avx2
