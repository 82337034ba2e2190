// The hash functions of FIPS 203 section 4.1, as named there.
#pragma once

#include "keccak.hpp"

namespace kyber_alg::kyber {

// PRF_eta(s, b) = SHAKE256(s || b, 64*eta)
template <int Eta>
inline void prf(uint8_t out[64 * Eta], const uint8_t s[32], uint8_t b) {
  Shake256 xof;
  xof.absorb(s, 32);
  xof.absorb(&b, 1);
  xof.squeeze(out, 64 * Eta);
}

// H(s) = SHA3-256(s)
inline void hash_h(uint8_t out[32], const uint8_t* in, std::size_t len) {
  Sha3_256 h;
  h.absorb(in, len);
  h.squeeze(out, 32);
}

// G(a || b) = SHA3-512(a || b), split by the caller into two 32-byte halves.
inline void hash_g(uint8_t out[64], const uint8_t* a, std::size_t a_len, const uint8_t* b,
                   std::size_t b_len) {
  Sha3_512 g;
  g.absorb(a, a_len);
  g.absorb(b, b_len);
  g.squeeze(out, 64);
}

// J(s) = SHAKE256(s, 32), here on z || c.
inline void hash_j(uint8_t out[32], const uint8_t* a, std::size_t a_len, const uint8_t* b,
                   std::size_t b_len) {
  Shake256 j;
  j.absorb(a, a_len);
  j.absorb(b, b_len);
  j.squeeze(out, 32);
}

}  // namespace kyber_alg::kyber
