// k*G for the fixed base point G, from a table of precomputed multiples.
#pragma once

#include "common/ct.hpp"
#include "sm2/curve.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

inline constexpr int kBaseRowSize = 1 << (kWindowBits - 1);  // multiples 1..16

// row[i][j] = (j + 1) * 32^i * G, affine.
struct BaseTable {
  AffinePoint row[kDigits][kBaseRowSize];
};

// Builds the table (about 53 KB) on first use; later calls only read it.
const BaseTable& base_table();

// Calling it once at module load keeps the table's cost off the first key
// generation.
inline void prepare_base_table() { (void)base_table(); }

// k*G for 1 <= k <= n - 1, in constant time, on the active code path
// (kernels.hpp).
JacobianPoint mul_base(const Scalar& k);

// The entry |digit| of a row, negated for a negative digit; reads the whole
// row. Returns all ones in `zero` when the digit is 0 (out is then garbage).
inline AffinePoint select_from_row(const AffinePoint row[kBaseRowSize], int8_t digit, uint64_t& zero) {
  const uint64_t sign = ct::mask64_from_bit(static_cast<uint64_t>(static_cast<uint8_t>(digit) >> 7));
  const uint64_t magnitude = (static_cast<uint64_t>(static_cast<int64_t>(digit)) ^ sign) - sign;
  AffinePoint out{};
  for (int j = 0; j < kBaseRowSize; ++j) {
    const uint64_t hit = ct::mask64_zero(magnitude ^ static_cast<uint64_t>(j + 1));
    fe_select(out.x, row[j].x, hit);
    fe_select(out.y, row[j].y, hit);
  }
  conditional_negate(out.y, sign);
  zero = ct::mask64_zero(magnitude);
  return out;
}

// The body of mul_base for field policy F: one table row per signed digit,
// each row read in full, and only additions (no doublings).
template <class F>
JacobianPoint mul_base_with(const Scalar& k) {
  // For 1 <= k < n no addition below meets equal points: the partial sum of
  // the lower digits stays below 32^i in size while the next term is at
  // least 32^i, and both stay under n/2 except for the top digit, whose
  // coincidences need k >= n. Only the point at infinity (before the first
  // nonzero digit) and zero digits need masking.
  const BaseTable& table = base_table();
  ct::Wiped<int8_t[kDigits]> digits;
  scalar_recode(digits.value, k);
  JacobianPoint acc{kOne, kOne, Fe{{0, 0, 0, 0}}};
  for (int i = 0; i < kDigits; ++i) {
    uint64_t zero;
    const AffinePoint term = select_from_row(table.row[i], digits.value[i], zero);
    point_select(acc, Curve<F>::add_affine(acc, term), ~zero);
  }
  return acc;
}

}  // namespace kyber_alg::sm2
