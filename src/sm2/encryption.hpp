// SM2 public-key encryption and decryption (GB/T 32918.4, sections 6 and 7)
// with SM3 as the hash, on the curve sm2p256v1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm2/keys.hpp"
#include "sm2/point.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

inline constexpr std::size_t kHashSize = 32;
// C1 and C3 around a C2 as long as the message.
inline constexpr std::size_t kCiphertextOverhead = kPointSize + kHashSize;
// The KDF counter is 32 bits: at most 2^32 - 1 blocks of 32 bytes.
inline constexpr std::size_t kMaxMessageSize = 0xffffffffull * 32;

// Where the three parts of a ciphertext live (C1C3C2 or C1C2C3 order).
struct CiphertextParts {
  uint8_t* c1;  // kPointSize bytes
  uint8_t* c3;  // kHashSize bytes
  uint8_t* c2;  // message length
};

struct ConstCiphertextParts {
  const uint8_t* c1;
  const uint8_t* c3;
  const uint8_t* c2;
};

enum class CipherStatus { ok, kdf_zero, random_failed, c1_infinity, c1_not_on_curve, c3_mismatch };

// Steps A2 and A4..A8 for the nonce k in [1, n - 1]. The public key must
// have passed decode_point, which is step A3 (the cofactor is 1). Reads
// `message` once (it may be out.c2 itself). Returns kdf_zero if the KDF
// output is all zeros; out.c2 then still holds the message.
CipherStatus encrypt_with_nonce(const CiphertextParts& out, const uint8_t* message, std::size_t len,
                                const AffinePoint& public_key, const Scalar& k);

// The whole of section 6: draws nonces from getrandom until the KDF output
// is not all zeros. random_failed (errno set) if the OS has no bytes.
CipherStatus encrypt(const CiphertextParts& out, const uint8_t* message, std::size_t len,
                     const AffinePoint& public_key);

// Section 7, steps B1..B7; the private key must be in range. Reads each part
// of the ciphertext once. An all-zero KDF output is reported as c3_mismatch,
// so that the two integrity failures look alike. On any failure message_out
// is wiped.
CipherStatus decrypt(uint8_t* message_out, const ConstCiphertextParts& in, std::size_t len,
                     const uint8_t private_key[kPrivateKeySize]);

}  // namespace kyber_alg::sm2
