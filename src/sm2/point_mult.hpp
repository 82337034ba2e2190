// k*P for a variable point P (a public key, or C1 of a ciphertext).
#pragma once

#include "common/ct.hpp"
#include "sm2/curve.hpp"
#include "sm2/scalar.hpp"
#include "sm2/table.hpp"

namespace kyber_alg::sm2 {

// Signed odd 5-bit digits (scalar_recode_odd) over a table of P, 3P, ..., 31P.
inline constexpr int kPointWindowBits = 5;
inline constexpr int kPointDigits = 52;
inline constexpr int kPointTableSize = 1 << (kPointWindowBits - 1);

// k*P for 1 <= k <= n - 1 and P a point of the curve other than infinity, in
// constant time: the body of Kernels::mul_point for code path Path. Always inlined, so that each
// path's entry function holds one copy with that path's multiplication.
template <class Path>
[[gnu::always_inline]] inline JacobianPoint mul_point_with(const Scalar& k, const AffinePoint& p) {
  using C = Curve<Path>;
  // The odd multiples share one Z, whose powers every addition of an entry reuses.
  ct::Wiped<AffinePoint[kPointTableSize]> table;
  const ZPowers table_z = C::powers(C::odd_multiples(table.value, p));

  ct::Wiped<int8_t[kPointDigits]> digits;
  const uint64_t negate = scalar_recode_odd(digits.value, kPointDigits, kPointWindowBits, k);

  // The digits are those of k' (k or n - k, whichever is odd). acc = 32*m*P
  // before digit i is added, where m collects the digits above i and is odd
  // (so never zero). For i >= 1, 32m is far below n, so it differs from
  // +-digit (mod n), and acc is never infinity. At i = 0 the two can meet
  // (32m = k' - digit can be n + digit: k' = n - 6 gives -3P + -3P), so the
  // last addition is the complete one; it meets -digit only for k' = 0.
  ct::Wiped<JacobianPoint> acc;
  ct::Wiped<AffinePoint> term;
  read_odd<Path>(term.value, table.value, kPointTableSize, digits.value[kPointDigits - 1]);
  acc.value = {term.value.x, term.value.y, table_z.z};
  for (int i = kPointDigits - 2; i >= 0; --i) {
    for (int d = 0; d < kPointWindowBits; ++d) acc.value = C::dbl(acc.value);
    read_odd<Path>(term.value, table.value, kPointTableSize, digits.value[i]);
    acc.value = C::add_with_z(acc.value, term.value, table_z, i == 0);
  }
  conditional_negate(acc.value.y, negate);
  return acc.value;
}

}  // namespace kyber_alg::sm2
