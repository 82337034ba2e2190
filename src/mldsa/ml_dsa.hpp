// ML-DSA (FIPS 204): ML-DSA.KeyGen_internal (Algorithm 6), ML-DSA.Sign_internal
// (Algorithm 7) and ML-DSA.Verify_internal (Algorithm 8), on keys held decoded
// with the matrix A_hat and the NTT forms of the vectors computed once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mldsa/packing.hpp"
#include "mldsa/params.hpp"

namespace kyber_alg::mldsa {

template <class P>
struct PublicKey {
  uint8_t bytes[P::pk_bytes];  // pkEncode(rho, t1)
  uint8_t tr[64];              // H(pk, 64)
  typename P::Matrix a_hat;
  typename P::VecK t1_hat;  // NTT(t1 * 2^d)
};

template <class P>
struct PrivateKey {
  SecretParts<P> parts;  // what skEncode writes
  typename P::VecL s1_hat;
  typename P::VecK s2_hat;
  typename P::VecK t0_hat;
  typename P::Matrix a_hat;
  uint8_t pk[P::pk_bytes];
};

// Algorithm 6: the key pair of the 32-byte seed xi.
template <class P>
void ml_dsa_keygen_internal(PrivateKey<P>& sk, const uint8_t xi[32]);

enum class ReadResult { ok, out_of_range, inconsistent };

// skDecode (Algorithm 25) with the checks a stored key must pass: s1 and s2
// within [-eta, eta], t0 the low part of A s1 + s2, and tr = H(pk) for the
// public key that gives.
template <class P>
ReadResult read_private_key(PrivateKey<P>& sk, const uint8_t in[P::sk_bytes]);

// pkDecode (Algorithm 23) and what verification needs of the key.
template <class P>
void read_public_key(PublicKey<P>& pk, const uint8_t in[P::pk_bytes]);

// mu = H(tr || prefix || message, 64) (Algorithm 7 step 6 and Algorithm 8
// step 7, with M' = prefix || message).
void message_representative(uint8_t mu[64], const uint8_t tr[64], const uint8_t* prefix,
                            std::size_t prefix_len, const uint8_t* message, std::size_t message_len);

// Algorithm 7 from step 7 on: the signature of mu with the 32 bytes rnd.
template <class P>
void ml_dsa_sign_internal(uint8_t sig[P::sig_bytes], const PrivateKey<P>& sk, const uint8_t mu[64],
                          const uint8_t rnd[32]);

// Algorithm 8 from step 8 on: whether sig is a signature of mu under pk.
template <class P>
bool ml_dsa_verify_internal(const PublicKey<P>& pk, const uint8_t sig[P::sig_bytes], const uint8_t mu[64]);

}  // namespace kyber_alg::mldsa
