// SM2 digital signatures (GB/T 32918.2) with SM3, on sm2p256v1: the user
// digest Z, signing with a hedged nonce, and verification.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm2/keys.hpp"
#include "sm2/point.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

inline constexpr std::size_t kSignatureSize = 64;  // r || s, big-endian
inline constexpr std::size_t kDigestSize = 32;
// ENTL is the bit length of the ID in two bytes.
inline constexpr std::size_t kMaxIdSize = 0xffff / 8;

// A private key prepared for signing: d and (1 + d)^-1 mod n.
struct SigningKey {
  uint8_t d_bytes[kPrivateKeySize];
  Scalar d;
  Scalar d_plus_one_inverse;
};

// d must be in [1, n - 2] (private_key_in_range).
void signing_key_init(SigningKey& key, const uint8_t d[kPrivateKeySize]);

// Z = SM3(ENTL || ID || a || b || xG || yG || xA || yA) for the public key
// x || y (section 5.5). id_len must be at most kMaxIdSize.
void user_digest(uint8_t z[kDigestSize], const uint8_t* id, std::size_t id_len,
                 const uint8_t pub[kPointSize]);

// e = SM3(Z || M), steps A1 and A2 (and B3, B4).
void message_digest(uint8_t e[kDigestSize], const uint8_t z[kDigestSize], const uint8_t* message,
                    std::size_t len);

// Steps A4 to A7 for the nonce k in [1, n - 1]. False, writing nothing
// useful, when r = 0, r + k = n or s = 0: the caller picks another nonce.
bool sign_with_nonce(uint8_t signature[kSignatureSize], const uint8_t e[kDigestSize], const SigningKey& key,
                     const Scalar& k);

// The nonce of the attempt numbered `attempt`: SM3 of a label, 32 bytes from
// getrandom, d, e and the attempt number, drawn again (next attempt) until it
// falls in [1, n - 1]. With a working random source k is uniform; with a
// broken one it is still a secret function of d and e.
Scalar hedged_nonce(const uint8_t random[32], const SigningKey& key, const uint8_t e[kDigestSize],
                    uint32_t& attempt);

// Signs the digest e; false with errno set if getrandom fails.
bool sign_digest(uint8_t signature[kSignatureSize], const uint8_t e[kDigestSize], const SigningKey& key);

// SEQUENCE { INTEGER r, INTEGER s } at its longest: 2 + 2 * (2 + 1 + 32) bytes.
inline constexpr std::size_t kMaxDerSignatureSize = 72;

// The DER encoding of a signature r || s with r and s in [1, n - 1] (published
// values, so the encoding may branch on them); returns its length.
std::size_t signature_to_der(uint8_t der[kMaxDerSignatureSize], const uint8_t signature[kSignatureSize]);

// Section 7 (public inputs; not constant time): true if (r, s) is a valid
// signature of e under the public key.
bool verify_digest(const uint8_t signature[kSignatureSize], const uint8_t e[kDigestSize],
                   const AffinePoint& public_key);

}  // namespace kyber_alg::sm2
