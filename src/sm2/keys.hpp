// SM2 key pairs and the encoding of points: 64 bytes x || y, big-endian
// (the uncompressed form without its 04 prefix).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm2/point.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

inline constexpr std::size_t kPrivateKeySize = 32, kPointSize = 64;

enum class PointCheck { ok, infinity, not_on_curve };

// Reads and validates a public point: all-zero bytes (the usual stand-in for
// the point at infinity) and anything not on the curve (coordinates >= p
// included) are refused. Public data: branches freely.
PointCheck decode_point(AffinePoint& out, const uint8_t in[kPointSize]);
void encode_point(uint8_t out[kPointSize], const AffinePoint& p);

// A uniformly random scalar in [1, n - 1] (nonce) or [1, n - 2] (private
// key) from getrandom; false with errno set if the OS cannot provide bytes.
bool random_nonce(Scalar& k);
bool random_private_key(uint8_t d[kPrivateKeySize]);

// True if d, big-endian, is in [1, n - 2].
bool private_key_in_range(const uint8_t d[kPrivateKeySize]);

// k*G and k*P (k in [1, n - 1], P a decoded point) as the 64 bytes x || y,
// in constant time; every intermediate is wiped.
void mul_base_bytes(uint8_t out[kPointSize], const Scalar& k);
void mul_point_bytes(uint8_t out[kPointSize], const Scalar& k, const AffinePoint& p);

// P = d*G for a private key in range.
void derive_public_key(uint8_t pub[kPointSize], const uint8_t d[kPrivateKeySize]);

}  // namespace kyber_alg::sm2
