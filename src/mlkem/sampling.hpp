// SampleNTT and SamplePolyCBD (FIPS 203 Algorithms 7 and 8).
#pragma once

#include <cstddef>

#include "kernels.hpp"
#include "params.hpp"

namespace kyber_alg::kyber {

// Algorithm 7: a uniform element of T_q from SHAKE128(rho || j || i), by
// rejection. rho is public (it is part of ek), so the loop may branch on it.
void sample_ntt(Poly& a, const uint8_t rho[32], uint8_t j, uint8_t i);

// The loop body of Algorithm 7 over a buffer of XOF output: appends the
// accepted 12-bit values to a[count..n) and returns the new count.
int parse_uniform(Poly& a, int count, const uint8_t* buf, std::size_t len);

// SampleNTT squeezes this many SHAKE128 blocks first: 3 blocks give 336
// candidates, enough for 256 accepted values in over 99% of cases; more are
// squeezed one block at a time. 168 is a multiple of 3, so no 3-byte group
// crosses a block boundary.
inline constexpr std::size_t sample_ntt_first_blocks = 3;

// A_hat[i][j] = SampleNTT(rho || j || i) for all i, j (K-PKE.KeyGen steps
// 3-7); with transpose, A_hat^T is stored instead (K-PKE.Encrypt).
inline void sample_matrix(PolyMat& a, const uint8_t rho[32], bool transpose) {
  kernels->sample_matrix(a, rho, transpose);
}

// Algorithm 8: coefficients in [-eta, eta] from 64*eta bytes, branch-free.
template <int Eta>
void sample_poly_cbd(Poly& f, const uint8_t* bytes);

// SamplePolyCBD of PRF(seed, nonce + l) for l = 0..3: p0, p1 with EtaA and
// p2, p3 with EtaB (four consecutive noise polynomials of K-PKE).
template <int EtaA, int EtaB>
void sample_noise_x4(Poly& p0, Poly& p1, Poly& p2, Poly& p3, const uint8_t seed[32], uint8_t nonce) {
  static_assert(EtaA == eta1 && (EtaB == eta1 || EtaB == eta2), "the kernels cover the two uses in K-PKE");
  if constexpr (EtaB == eta1)
    kernels->sample_noise_x4_eta1_eta1(p0, p1, p2, p3, seed, nonce);
  else
    kernels->sample_noise_x4_eta1_eta2(p0, p1, p2, p3, seed, nonce);
}

// The portable versions of the sampling kernels.
namespace portable {
void sample_matrix(PolyMat& a, const uint8_t rho[32], bool transpose);
template <int EtaA, int EtaB>
void sample_noise_x4(Poly& p0, Poly& p1, Poly& p2, Poly& p3, const uint8_t seed[32], uint8_t nonce);
}  // namespace portable

}  // namespace kyber_alg::kyber
