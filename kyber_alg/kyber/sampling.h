// SampleNTT and SamplePolyCBD (FIPS 203 Algorithms 7 and 8).
#pragma once

#include "params.h"

namespace kyber_alg::kyber {

// Algorithm 7: a uniform element of T_q from SHAKE128(rho || j || i), by
// rejection. rho is public (it is part of ek), so the loop may branch on it.
void sample_ntt(Poly& a, const uint8_t rho[32], uint8_t j, uint8_t i);

// A_hat[i][j] = SampleNTT(rho || j || i) for all i, j (K-PKE.KeyGen steps
// 3-7); with transpose, A_hat^T is stored instead (K-PKE.Encrypt).
void sample_matrix(PolyMat& a, const uint8_t rho[32], bool transpose);

// Algorithm 8: coefficients in [-eta, eta] from 64*eta bytes, branch-free.
template <int Eta>
void sample_poly_cbd(Poly& f, const uint8_t* bytes);

// SamplePolyCBD of PRF(seed, nonce + l) for l = 0..3: p0, p1 with EtaA and
// p2, p3 with EtaB (four consecutive noise polynomials of K-PKE).
template <int EtaA, int EtaB>
void sample_noise_x4(Poly& p0, Poly& p1, Poly& p2, Poly& p3, const uint8_t seed[32], uint8_t nonce);

}  // namespace kyber_alg::kyber
