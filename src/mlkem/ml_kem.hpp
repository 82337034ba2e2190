// ML-KEM's internal algorithms (FIPS 203 Algorithms 16, 17 and 18) and the
// input checks of sections 7.2 and 7.3, for each parameter set.
//
// Keys are kept decoded (EncapsulationKey, DecapsulationKey): the matrix and
// H(ek) are computed once when a key is made or read, and reused by every
// encapsulation and decapsulation. The byte-level functions below take and
// give the FIPS 203 encodings and go through the same code.
#pragma once

#include "mlkem/k_pke.hpp"
#include "mlkem/params.hpp"

namespace kyber_alg::mlkem {

template <class P>
struct EncapsulationKey {
  PkeEncryptionKey<P> pke;
  uint8_t bytes[P::ek_bytes];  // ek itself
  uint8_t h[32];               // H(ek)
};

template <class P>
struct DecapsulationKey {
  EncapsulationKey<P> ek;
  PkeDecryptionKey<P> pke;
  uint8_t z[32];
};

// Algorithm 16: the key pair from the seeds d and z.
template <class P>
void ml_kem_keygen_internal(DecapsulationKey<P>& dk, const uint8_t d[32], const uint8_t z[32]);

// Algorithm 17: shared secret K and ciphertext c from ek and randomness m.
template <class P>
void ml_kem_encaps_internal(uint8_t key[32], uint8_t c[P::ct_bytes], const EncapsulationKey<P>& ek,
                            const uint8_t m[32]);

// Algorithm 18 with implicit rejection: on a ciphertext that does not
// re-encrypt to itself, K = J(z || c).
template <class P>
void ml_kem_decaps_internal(uint8_t key[32], const DecapsulationKey<P>& dk, const uint8_t c[P::ct_bytes]);

// Reads ek; false if it fails the modulus check of section 7.2 (every
// coefficient < q), and the key must not be used then.
template <class P>
bool read_encapsulation_key(EncapsulationKey<P>& ek, const uint8_t in[P::ek_bytes]);

// Reads dk = dk_pke || ek || H(ek) || z; false if it fails the hash check of
// section 7.3 (the stored H(ek) is that of the stored ek), and the key must
// not be used then. The ek part is read modulo q, as decapsulation does;
// ek_modulus_check<P>(in + P::dk_pke_bytes) tells whether it needed that.
template <class P>
bool read_decapsulation_key(DecapsulationKey<P>& dk, const uint8_t in[P::dk_bytes]);

// The FIPS 203 encoding of dk.
template <class P>
void write_decapsulation_key(uint8_t out[P::dk_bytes], const DecapsulationKey<P>& dk);

// The same algorithms on encoded keys.
template <class P>
void ml_kem_keygen_internal(uint8_t ek[P::ek_bytes], uint8_t dk[P::dk_bytes], const uint8_t d[32],
                            const uint8_t z[32]);
// ek must have passed ek_modulus_check.
template <class P>
void ml_kem_encaps_internal(uint8_t key[32], uint8_t c[P::ct_bytes], const uint8_t ek[P::ek_bytes],
                            const uint8_t m[32]);
// dk must have passed dk_hash_check.
template <class P>
void ml_kem_decaps_internal(uint8_t key[32], const uint8_t dk[P::dk_bytes], const uint8_t c[P::ct_bytes]);
// Section 7.2: ek == ByteEncode_12(ByteDecode_12(ek)), i.e. every coefficient < q.
template <class P>
bool ek_modulus_check(const uint8_t ek[P::ek_bytes]);
// Section 7.3: H(dk[384k : 768k+32]) == dk[768k+32 : 768k+64].
template <class P>
bool dk_hash_check(const uint8_t dk[P::dk_bytes]);

}  // namespace kyber_alg::mlkem
