// The hash functions of FIPS 203 section 4.1, as named there.
#pragma once

#include "mlkem/keccak.hpp"

namespace kyber_alg::mlkem {

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

// The first OutLen bytes of the sponge's output on a || b.
template <class Sponge, std::size_t OutLen>
inline void hash_pair(uint8_t out[OutLen], const uint8_t* a, std::size_t a_len, const uint8_t* b,
                      std::size_t b_len) {
  Sponge sponge;
  sponge.absorb(a, a_len);
  sponge.absorb(b, b_len);
  sponge.squeeze(out, OutLen);
}

// G(a || b) = SHA3-512(a || b), split by the caller into two 32-byte halves.
inline void hash_g(uint8_t out[64], const uint8_t* a, std::size_t a_len, const uint8_t* b,
                   std::size_t b_len) {
  hash_pair<Sha3_512, 64>(out, a, a_len, b, b_len);
}

// J(s) = SHAKE256(s, 32), here on z || c.
inline void hash_j(uint8_t out[32], const uint8_t* a, std::size_t a_len, const uint8_t* b,
                   std::size_t b_len) {
  hash_pair<Shake256, 32>(out, a, a_len, b, b_len);
}

}  // namespace kyber_alg::mlkem
