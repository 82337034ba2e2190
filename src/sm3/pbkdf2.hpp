// PBKDF2 with HMAC-SM3 as its pseudorandom function (RFC 8018, 5.2).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::sm3 {

// out[0..len) = DK; iterations >= 1, len <= (2^32 - 1) * 32 (checked by the caller).
void pbkdf2_hmac(const uint8_t* password, std::size_t password_len, const uint8_t* salt, std::size_t salt_len,
                 uint64_t iterations, uint8_t* out, std::size_t len);

}  // namespace kyber_alg::sm3
