// Pseudorandom sampling of FIPS 204 section 7.3: SampleInBall (Algorithm 29),
// RejNTTPoly (30), RejBoundedPoly (31), ExpandA (32), ExpandS (33) and
// ExpandMask (34), over the SHAKE128/SHAKE256 sponges of src/mlkem (four at
// a time with its four-way Keccak on the vector paths).
#pragma once

#include <cstddef>
#include <cstdint>

#include "mldsa/params.hpp"

namespace kyber_alg::mldsa {

// Algorithm 29: the polynomial c with tau coefficients +-1 and the rest 0
// selected by SHAKE256(rho). Coefficients in {-1, 0, 1}. In signing, rho is
// the commitment hash of a candidate, which stays secret if the candidate is
// rejected: positions are written by a scan over all of c, and only the
// choice of which sampled byte to keep (independent of where it lands) is
// made public.
void sample_in_ball(Poly& c, const uint8_t* rho, std::size_t rho_len, int tau);

// Algorithm 32: A_hat[r][s] = RejNTTPoly(rho || s || r) (Algorithm 30), uniform in T_q.
template <class P>
void expand_a(typename P::Matrix& a, const uint8_t rho[32]);

// Algorithm 33: s1 and s2 from rho', coefficients in [-eta, eta] by
// RejBoundedPoly (Algorithm 31).
template <class P>
void expand_s(typename P::VecL& s1, typename P::VecK& s2, const uint8_t rho[64]);

// Algorithm 34: y with coefficients in (-gamma1, gamma1] from rho'' and mu.
template <class P>
void expand_mask(typename P::VecL& y, const uint8_t rho[64], uint16_t mu);

}  // namespace kyber_alg::mldsa
