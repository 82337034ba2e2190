// SampleNTT and SamplePolyCBD (FIPS 203 Algorithms 7 and 8), and the
// matrix and noise vectors K-PKE draws with them.
#pragma once

#include <cstddef>

#include "mlkem/kernels.hpp"
#include "mlkem/params.hpp"

namespace kyber_alg::mlkem {

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

// Algorithm 8: coefficients in [-eta, eta] from 64*eta bytes, branch-free.
template <int Eta>
void sample_poly_cbd(Poly& f, const uint8_t* bytes);

// SamplePolyCBD_eta(PRF_eta(seed, nonce)).
template <int Eta>
void sample_poly_cbd_prf(Poly& f, const uint8_t seed[32], uint8_t nonce);

// The set kernels of sampling (kernels.hpp), through the active path.
template <class P>
inline void sample_matrix(typename P::PolyMat& a, const uint8_t rho[32]) {
  kernels->for_set<P>().sample_matrix(a, rho);
}

template <class P>
inline void sample_noise_keygen(typename P::PolyVec& s, typename P::PolyVec& e, const uint8_t sigma[32]) {
  kernels->for_set<P>().sample_noise_keygen(s, e, sigma);
}

template <class P>
inline void sample_noise_encrypt(typename P::PolyVec& y, typename P::PolyVec& e1, Poly& e2,
                                 const uint8_t r[32]) {
  kernels->for_set<P>().sample_noise_encrypt(y, e1, e2, r);
}

template <class P>
inline void decaps_hashes(uint8_t k_r[64], uint8_t k_bar[32], EncryptionNoise<P>& noise, const uint8_t m[32],
                          const uint8_t h[32], const uint8_t z[32], const uint8_t c[P::ct_bytes]) {
  kernels->for_set<P>().decaps_hashes(k_r, k_bar, noise, m, h, z, c);
}

// The portable versions of the sampling kernels; decaps_hashes computes the
// three in turn (and draws the noise through the active path).
namespace portable {
template <class P>
void sample_matrix(typename P::PolyMat& a, const uint8_t rho[32]);
template <class P>
void sample_noise_keygen(typename P::PolyVec& s, typename P::PolyVec& e, const uint8_t sigma[32]);
template <class P>
void sample_noise_encrypt(typename P::PolyVec& y, typename P::PolyVec& e1, Poly& e2, const uint8_t r[32]);
template <class P>
void decaps_hashes(uint8_t k_r[64], uint8_t k_bar[32], EncryptionNoise<P>& noise, const uint8_t m[32],
                   const uint8_t h[32], const uint8_t z[32], const uint8_t c[P::ct_bytes]);
}  // namespace portable

}  // namespace kyber_alg::mlkem
