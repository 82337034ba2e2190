// SampleNTT and SamplePolyCBD (FIPS 203 Algorithms 7 and 8).
#pragma once

#include "params.h"

namespace kyber_alg::kyber {

// Algorithm 7: a uniform element of T_q from SHAKE128(rho || j || i), by
// rejection. rho is public (it is part of ek), so the loop may branch on it.
void sample_ntt(Poly& a, const uint8_t rho[32], uint8_t j, uint8_t i);

// Algorithm 8: coefficients in [-eta, eta] from 64*eta bytes, branch-free.
template <int Eta>
void sample_poly_cbd(Poly& f, const uint8_t* bytes);

}  // namespace kyber_alg::kyber
