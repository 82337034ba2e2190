// AVX2 parts of sampling: the matrix and the noise polynomials from four
// sponges at once, rejection sampling 16 candidates at a time and
// SamplePolyCBD. Same results as the portable code. Reached through
// the avx2 and avx512 kernel tables only.
#pragma once

#include <cstddef>

#include "mlkem/k_pke.hpp"
#include "mlkem/params.hpp"

namespace kyber_alg::mlkem::avx2 {

// Runs the Algorithm 7 loop over buf while at least 16 free coefficients and
// 32 readable bytes remain; updates count and returns the bytes consumed (a
// multiple of 3). The caller finishes with the portable loop.
std::size_t parse_uniform_prefix(Poly& a, int& count, const uint8_t* buf, std::size_t len);

// Algorithm 8 for eta = 2 (reads 128 bytes) and eta = 3 (reads 192 bytes,
// and up to 8 bytes beyond them, which must be readable).
void sample_poly_cbd2(Poly& f, const uint8_t* bytes);
void sample_poly_cbd3(Poly& f, const uint8_t* bytes);

// The set kernels of sampling (kernels.hpp) on KeccakX4. With SingleByX4 a
// batch of one entry also goes through the four-way permutation (the
// avx512 path, where that is faster than the one-state permutation).
template <class P, bool SingleByX4>
void sample_matrix(typename P::PolyMat& a, const uint8_t rho[32]);
template <class P, bool SingleByX4>
void sample_noise_keygen(typename P::PolyVec& s, typename P::PolyVec& e, const uint8_t sigma[32]);
template <class P, bool SingleByX4>
void sample_noise_encrypt(typename P::PolyVec& y, typename P::PolyVec& e1, Poly& e2, const uint8_t r[32]);

// The keygen_expand kernel (k_pke.hpp) with all its hashing on the four-way
// permutation, H(ek) block by block beside the sampling (the avx512 path).
template <class P>
void keygen_expand_x4(PkeEncryptionKey<P>& ek, PkeDecryptionKey<P>& dk, uint8_t ek_bytes[P::ek_bytes],
                      uint8_t h[32], const uint8_t sigma[32]);

// The decaps_hashes kernel with G, the noise and J side by side on the
// four-way permutation (the avx512 path, where four lanes cost about as much
// as one); see KeccakLanes.
template <class P>
void decaps_hashes_x4(uint8_t k_r[64], uint8_t k_bar[32], EncryptionNoise<P>& noise, const uint8_t m[32],
                      const uint8_t h[32], const uint8_t z[32], const uint8_t c[P::ct_bytes]);

}  // namespace kyber_alg::mlkem::avx2
