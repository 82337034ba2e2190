// Arithmetic modulo the group order n, which signatures and the key exchange
// need: addition, subtraction, multiplication and inversion of scalars below
// n, in constant time (masked corrections, no branch on the values).
#pragma once

#include <cstdint>

#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

// a mod n for any 256-bit a (n > 2^255, so one conditional subtraction).
Scalar order_reduce(const Scalar& a);

// For a, b < n; results below n.
Scalar order_add(const Scalar& a, const Scalar& b);
Scalar order_sub(const Scalar& a, const Scalar& b);
Scalar order_mul(const Scalar& a, const Scalar& b);

// 1/a mod n as a^(n-2) (Fermat), 0 for a = 0. The exponent is public, so its
// fixed windows may drive the loop; the base never chooses a branch or index.
Scalar order_invert(const Scalar& a);

// All ones if a == 0.
uint64_t order_is_zero(const Scalar& a);

}  // namespace kyber_alg::sm2
