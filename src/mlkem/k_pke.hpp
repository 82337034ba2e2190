// K-PKE, the CPA-secure encryption scheme underneath ML-KEM
// (FIPS 203 Algorithms 13, 14 and 15).
#pragma once

#include "params.hpp"

namespace kyber_alg::kyber {

// Algorithm 13: ek_pke (800 bytes) and dk_pke (768 bytes) from the seed d.
void k_pke_keygen(uint8_t ek_pke[ek_pke_bytes], uint8_t dk_pke[dk_pke_bytes], const uint8_t d[32]);

// Algorithm 14: encrypts the 32-byte message m with randomness r.
void k_pke_encrypt(uint8_t c[ct_bytes], const uint8_t ek_pke[ek_pke_bytes], const uint8_t m[32],
                   const uint8_t r[32]);

// Algorithm 15: recovers the 32-byte message from c.
void k_pke_decrypt(uint8_t m[32], const uint8_t dk_pke[dk_pke_bytes], const uint8_t c[ct_bytes]);

}  // namespace kyber_alg::kyber
