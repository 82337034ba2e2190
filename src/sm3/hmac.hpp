// HMAC-SM3 (RFC 2104 / ISO/IEC 9797-2 with SM3; GM/T 0042's examples).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm3/sm3.hpp"

namespace kyber_alg::sm3 {

// The hash states after the one block K ^ ipad and K ^ opad: every message
// under the same key starts from these, so the key costs nothing per call.
struct HmacKey {
  State inner, outer;
};

void hmac_init(HmacKey& key, const uint8_t* raw_key, std::size_t key_len);
// HMAC(K, message) from the precomputed states.
void hmac(const HmacKey& key, const uint8_t* message, std::size_t len, uint8_t out[kDigestSize]);
// For messages given in pieces: start from key.inner, update, then finish.
void hmac_finish(const HmacKey& key, const State& inner, uint8_t out[kDigestSize]);

}  // namespace kyber_alg::sm3
