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
// row read in full, and only mixed additions (no doublings). The even and the
// odd rows are summed apart, two independent chains of additions that the
// processor overlaps, and the two sums added at the end.
template <class Path>
JacobianPoint mul_base_with(const Scalar& k) {
  // Odd digits are never zero, and no addition in either chain meets equal or
  // opposite points: the sum S of a chain's earlier rows is below 128^i in
  // size while the next term T is at least 128^i, and both stay under n/2
  // except at the top row, where T is an odd multiple (at most 17) of 2^252
  // and S is below 2^246, so T -+ S is neither 0 nor n, which lies about
  // 2^252 from every odd multiple of 2^252. The two sums add up to k' (k or
  // n - k) times G, so they are not opposite, but they can be equal: the last
  // addition is the complete one.
  using C = Curve<Path>;
  const BaseTable& table = base_table();
  ct::Wiped<int8_t[kBaseDigits]> digits;
  const uint64_t negate = scalar_recode_odd(digits.value, kBaseDigits, kBaseWindowBits, k);
  ct::Wiped<JacobianPoint[2]> sums;
  ct::Wiped<AffinePoint[2]> terms;
  // Rows 0 and 1 start the chains, rows 2 and 3 join them affine to affine.
  for (int j = 0; j < 2; ++j) {
    read_odd<Path>(terms.value[j], table.row[j], kBaseRowSize, digits.value[j]);
    sums.value[j] = to_jacobian(terms.value[j]);
  }
  static_assert(kBaseDigits % 2 == 1 && kBaseDigits >= 5);
  for (int i = 2; i < kBaseDigits - 1; i += 2) {
    for (int j = 0; j < 2; ++j)
      read_odd<Path>(terms.value[j], table.row[i + j], kBaseRowSize, digits.value[i + j]);
    if (i == 2)
      C::template add_affine_each<2, true>(sums.value, terms.value);
    else
      C::add_affine_each(sums.value, terms.value);
  }
  read_odd<Path>(terms.value[0], table.row[kBaseDigits - 1], kBaseRowSize, digits.value[kBaseDigits - 1]);
  JacobianPoint sum = C::add_complete(C::add_affine(sums.value[0], terms.value[0]), sums.value[1]);
  conditional_negate(sum.y, negate);
  return sum;
}

}  // namespace kyber_alg::sm2
