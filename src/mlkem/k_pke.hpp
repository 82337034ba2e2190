// K-PKE, the CPA-secure encryption scheme underneath ML-KEM (FIPS 203
// Algorithms 13, 14 and 15), on keys kept decoded: the encryption key with
// its matrix A_hat already sampled, so that every encryption under one key
// reuses it.
#pragma once

#include "mlkem/params.hpp"

namespace kyber_alg::mlkem {

template <class P>
struct PkeEncryptionKey {
  typename P::PolyVec t_hat;  // coefficients in [0, q)
  typename P::PolyMat a_hat;  // A_hat[i][j] = SampleNTT(rho || j || i)
  uint8_t rho[32];
};

template <class P>
struct PkeDecryptionKey {
  typename P::PolyVec s_hat;  // coefficients in [0, q)
};

// Algorithm 13 after step 2, with ek.rho set: A_hat, s and e drawn (sigma is
// the other half of G(d || k)), t_hat made; and, for ML-KEM.KeyGen, ek
// encoded into ek_bytes and h = H(ek). The keygen_expand kernel of the set:
// this plain version, or one that interleaves its hashing (sampling_avx2.hpp).
template <class P>
void k_pke_keygen_expand(PkeEncryptionKey<P>& ek, PkeDecryptionKey<P>& dk, uint8_t ek_bytes[P::ek_bytes],
                         uint8_t h[32], const uint8_t sigma[32]);

// Steps 16-18 in parts, so that each row of t_hat can be made as soon as its
// inputs are there: keygen_transform_s once s is drawn (s_hat = NTT(s), not
// reduced, and its multiply caches); keygen_row for row i once row i of A_hat
// and e[i] are (e[i] is transformed in place); keygen_finish_s at the end
// (s_hat to [0, q)).
template <class P>
void keygen_transform_s(typename P::PolyVec& s, typename P::MulCacheVec& s_cache);
template <class P>
void keygen_row(PkeEncryptionKey<P>& ek, int i, const typename P::PolyVec& s_hat,
                const typename P::MulCacheVec& s_cache, Poly& e_i);
template <class P>
void keygen_finish_s(typename P::PolyVec& s_hat);

// Algorithm 14: encrypts the 32-byte message m with randomness r.
template <class P>
void k_pke_encrypt(uint8_t c[P::ct_bytes], const PkeEncryptionKey<P>& ek, const uint8_t m[32],
                   const uint8_t r[32]);

// Algorithm 14 from step 18, with the noise of steps 9-17 already drawn
// (decapsulation draws it together with its other hashes). Uses up the noise.
template <class P>
void k_pke_encrypt_with_noise(uint8_t c[P::ct_bytes], const PkeEncryptionKey<P>& ek, const uint8_t m[32],
                              EncryptionNoise<P>& noise);

// Algorithm 15: recovers the 32-byte message from c.
template <class P>
void k_pke_decrypt(uint8_t m[32], const PkeDecryptionKey<P>& dk, const uint8_t c[P::ct_bytes]);

// ek_pke = ByteEncode_12(t_hat) || rho.
template <class P>
void encode_encryption_key(uint8_t out[P::ek_bytes], const PkeEncryptionKey<P>& ek);

// The inverse, ByteDecode_12 reducing mod q, with A_hat sampled from rho.
// Returns whether every encoded coefficient was below q (the modulus check
// of section 7.2); the key is filled in either way.
template <class P>
bool decode_encryption_key(PkeEncryptionKey<P>& ek, const uint8_t in[P::ek_bytes]);

// dk_pke = ByteEncode_12(s_hat), and its inverse (ByteDecode_12, mod q).
template <class P>
void encode_decryption_key(uint8_t out[P::dk_pke_bytes], const PkeDecryptionKey<P>& dk);
template <class P>
void decode_decryption_key(PkeDecryptionKey<P>& dk, const uint8_t in[P::dk_pke_bytes]);

}  // namespace kyber_alg::mlkem
