// k*G for the fixed base point G, from a table of precomputed multiples.
#pragma once

#include "common/ct.hpp"
#include "sm2/curve.hpp"
#include "sm2/scalar.hpp"
#include "sm2/table.hpp"

namespace kyber_alg::sm2 {

// Signed odd 7-bit digits (scalar_recode_odd): 37 of them cover 256 bits.
inline constexpr int kBaseWindowBits = 7;
inline constexpr int kBaseDigits = 37;
inline constexpr int kBaseRowSize = 1 << (kBaseWindowBits - 1);  // odd multiples 1..127

// row[i][j] = (2j + 1) * 128^i * G, affine; each entry one cache line.
struct BaseTable {
  alignas(64) AffinePoint row[kBaseDigits][kBaseRowSize];
};

// Builds the table (about 150 KB) on first use; later calls only read it.
const BaseTable& base_table();

// Calling it once at module load keeps the table's cost (about a
// millisecond) off the first key generation.
inline void prepare_base_table() { (void)base_table(); }

// k*G for 1 <= k <= n - 1, in constant time, on the active code path
// (kernels.hpp).
JacobianPoint mul_base(const Scalar& k);

// The body of mul_base for code path Path: one table row per odd digit, each
// row read in full, and only mixed additions (no doublings).
template <class Path>
JacobianPoint mul_base_with(const Scalar& k) {
  // Odd digits are never zero, and no addition below meets equal or opposite
  // points: the partial sum S of the lower digits is below 128^i in size while
  // the next term T is at least 128^i, and both stay under n/2 except at the
  // top digit, where S = +-T (mod n) would need k = 0 or k >= n. So the sum is
  // never the point at infinity, and nothing needs masking.
  const BaseTable& table = base_table();
  ct::Wiped<int8_t[kBaseDigits]> digits;
  const uint64_t negate = scalar_recode_odd(digits.value, kBaseDigits, kBaseWindowBits, k);
  ct::Wiped<JacobianPoint> acc;
  ct::Wiped<AffinePoint> term;
  read_odd<Path>(term.value, table.row[0], kBaseRowSize, digits.value[0]);
  acc.value = to_jacobian(term.value);
  for (int i = 1; i < kBaseDigits; ++i) {
    read_odd<Path>(term.value, table.row[i], kBaseRowSize, digits.value[i]);
    acc.value = Curve<Path>::add_affine(acc.value, term.value);
  }
  conditional_negate(acc.value.y, negate);
  return acc.value;
}

}  // namespace kyber_alg::sm2
