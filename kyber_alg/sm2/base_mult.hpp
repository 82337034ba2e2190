// k*G for the fixed base point G, from a table of precomputed multiples.
#pragma once

#include "sm2/point.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

// Builds the table of multiples of G (about 53 KB) on first use; later calls
// only read it. Calling it once at module load keeps that cost off the first
// key generation.
void prepare_base_table();

// k*G for 1 <= k <= n - 1, in constant time: one table row per signed digit,
// each row read in full, and only additions (no doublings).
JacobianPoint mul_base(const Scalar& k);

}  // namespace kyber_alg::sm2
