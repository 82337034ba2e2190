// ML-KEM-512 internal algorithms (FIPS 203 Algorithms 16, 17 and 18) and
// the input checks of sections 7.2 and 7.3.
#pragma once

#include "params.hpp"

namespace kyber_alg::kyber {

// Algorithm 16: (ek, dk) from the seeds d and z.
void ml_kem_keygen_internal(uint8_t ek[ek_bytes], uint8_t dk[dk_bytes], const uint8_t d[32],
                            const uint8_t z[32]);

// Algorithm 17: shared secret K and ciphertext c from ek and randomness m.
// ek must have passed ek_modulus_check.
void ml_kem_encaps_internal(uint8_t key[32], uint8_t c[ct_bytes], const uint8_t ek[ek_bytes],
                            const uint8_t m[32]);

// Algorithm 18 with implicit rejection: on a ciphertext that does not
// re-encrypt to itself, K = J(z || c). dk must have passed dk_hash_check.
void ml_kem_decaps_internal(uint8_t key[32], const uint8_t dk[dk_bytes], const uint8_t c[ct_bytes]);

// Section 7.2: ek == ByteEncode_12(ByteDecode_12(ek)), i.e. every coefficient < q.
bool ek_modulus_check(const uint8_t ek[ek_bytes]);

// Section 7.3: H(dk[384k : 768k+32]) == dk[768k+32 : 768k+64].
bool dk_hash_check(const uint8_t dk[dk_bytes]);

}  // namespace kyber_alg::kyber
