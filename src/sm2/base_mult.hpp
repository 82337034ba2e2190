// k*G for the fixed base point G, from a table of precomputed multiples.
#pragma once

#include "common/ct.hpp"
#include "sm2/curve.hpp"
#include "sm2/scalar.hpp"
#include "sm2/table.hpp"

namespace kyber_alg::sm2 {

// Signed 7-bit digits: 37 of them cover 256 bits and the last carry.
inline constexpr int kBaseWindowBits = 7;
inline constexpr int kBaseDigits = 37;
inline constexpr int kBaseRowSize = 1 << (kBaseWindowBits - 1);  // multiples 1..64

// row[i][j] = (j + 1) * 128^i * G, affine; each entry one cache line.
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

// The body of mul_base for code path Path: one table row per signed digit,
// each row read in full, and only mixed additions (no doublings).
template <class Path>
JacobianPoint mul_base_with(const Scalar& k) {
  // For 1 <= k < n no addition below meets equal points: the partial sum S
  // of the lower digits stays below 128^i / 1.98 in size while the next term
  // T is at least 128^i, and both stay under n/2 except at the top digit,
  // where S = +-T (mod n) would need k = 0 or k >= n. Only the point at
  // infinity (before the first nonzero digit) and zero digits need masking.
  const BaseTable& table = base_table();
  ct::Wiped<int8_t[kBaseDigits]> digits;
  scalar_recode(digits.value, kBaseDigits, kBaseWindowBits, k);
  ct::Wiped<JacobianPoint> acc;
  ct::Wiped<AffinePoint> term;
  acc.value = kInfinity;
  for (int i = 0; i < kBaseDigits; ++i) {
    const uint64_t zero = read_signed<Path>(term.value, table.row[i], kBaseRowSize, digits.value[i]);
    point_select(acc.value, Curve<Path>::add_affine(acc.value, term.value), ~zero);
  }
  return acc.value;
}

}  // namespace kyber_alg::sm2
