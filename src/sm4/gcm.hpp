// SM4-GCM (NIST SP 800-38D; RFC 8998's AEAD_SM4_GCM): 16-byte tags, nonces
// of any nonzero length (12 bytes is the direct case).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm4/ghash.hpp"
#include "sm4/sm4.hpp"

namespace kyber_alg::sm4 {

inline constexpr std::size_t kGcmTagSize = 16;
// SP 800-38D's limits: 2^39 - 256 bits of plaintext; associated data and
// nonce below 2^64 bits.
inline constexpr uint64_t kGcmMaxDataSize = (uint64_t{1} << 36) - 32;
inline constexpr uint64_t kGcmMaxInputSize = (uint64_t{1} << 61) - 1;

struct GcmKey {
  RoundKeys keys;
  GhashKey hash;
};

void gcm_init(GcmKey& key, const uint8_t raw_key[kKeySize]);

// out[0..len) = ciphertext, out[len..len+16) = tag. in and out may be the
// same buffer; in is read once.
void gcm_seal(const GcmKey& key, const uint8_t* nonce, std::size_t nonce_len, const uint8_t* ad,
              std::size_t ad_len, const uint8_t* in, std::size_t len, uint8_t* out);

// data holds the ciphertext and is decrypted in place. Returns true if the
// tag matches (compared in constant time); otherwise data is zeroed.
bool gcm_open(const GcmKey& key, const uint8_t* nonce, std::size_t nonce_len, const uint8_t* ad,
              std::size_t ad_len, uint8_t* data, std::size_t len, const uint8_t tag[kGcmTagSize]);

}  // namespace kyber_alg::sm4
