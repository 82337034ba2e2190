// k*P for a variable point P (a public key, or C1 of a ciphertext).
#pragma once

#include "sm2/point.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

// k*P for 1 <= k <= n - 1 and P a point of the curve other than infinity, in
// constant time: signed 5-bit windows over a table of P..16P, each table
// read in full.
JacobianPoint mul_point(const Scalar& k, const AffinePoint& p);

}  // namespace kyber_alg::sm2
