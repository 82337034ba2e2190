// SM4-CCM (NIST SP 800-38C, RFC 3610; RFC 8998's AEAD_SM4_CCM): nonces of
// 7..13 bytes, tags of 4..16 bytes (even).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm4/sm4.hpp"

namespace kyber_alg::sm4 {

inline constexpr std::size_t kCcmMinNonce = 7, kCcmMaxNonce = 13;

bool ccm_tag_size_valid(std::size_t tag_len);
bool ccm_nonce_size_valid(std::size_t nonce_len);
// A message must fit the length field of 15 - nonce_len bytes.
bool ccm_length_fits(std::size_t nonce_len, uint64_t len);

// Both work in place on data (the message is read twice: MAC and counter
// mode, so it must not be a buffer that another thread can change).
// Seal: data becomes the ciphertext, tag gets tag_len bytes.
void ccm_seal(const RoundKeys& keys, const uint8_t* nonce, std::size_t nonce_len, const uint8_t* ad,
              std::size_t ad_len, uint8_t* data, std::size_t len, uint8_t* tag, std::size_t tag_len);
// Open: data becomes the plaintext if the tag matches (constant-time
// comparison), and is zeroed otherwise.
bool ccm_open(const RoundKeys& keys, const uint8_t* nonce, std::size_t nonce_len, const uint8_t* ad,
              std::size_t ad_len, uint8_t* data, std::size_t len, const uint8_t* tag, std::size_t tag_len);

}  // namespace kyber_alg::sm4
