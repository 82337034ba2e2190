// Elliptic-curve Diffie-Hellman on sm2p256v1: the x-coordinate of d*Q.
#pragma once

#include <cstdint>

#include "sm2/keys.hpp"
#include "sm2/point.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

inline constexpr std::size_t kSharedSecretSize = 32;

// x(d*Q), big-endian, in constant time, for d in [1, n - 1] and Q a point of
// the curve other than infinity (decode_point). The group has prime order, so
// d*Q is never the point at infinity.
void ecdh_shared_x(uint8_t out[kSharedSecretSize], const Scalar& d, const AffinePoint& q);

}  // namespace kyber_alg::sm2
