// HKDF with HMAC-SM3 (RFC 5869).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm3/sm3.hpp"

namespace kyber_alg::sm3 {

inline constexpr std::size_t kHkdfMaxLength = 255 * kDigestSize;

// PRK = HMAC(salt, IKM); an empty salt acts as 32 zero bytes, as RFC 5869 says.
void hkdf_extract(const uint8_t* salt, std::size_t salt_len, const uint8_t* ikm, std::size_t ikm_len,
                  uint8_t prk[kDigestSize]);
// OKM = T(1) || T(2) || ..., T(i) = HMAC(PRK, T(i-1) || info || i); len <= kHkdfMaxLength.
void hkdf_expand(const uint8_t* prk, std::size_t prk_len, const uint8_t* info, std::size_t info_len,
                 uint8_t* out, std::size_t len);

}  // namespace kyber_alg::sm3
