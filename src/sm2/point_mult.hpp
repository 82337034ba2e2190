// k*P for a variable point P (a public key, or C1 of a ciphertext).
#pragma once

#include "common/ct.hpp"
#include "sm2/curve.hpp"
#include "sm2/scalar.hpp"
#include "sm2/table.hpp"

namespace kyber_alg::sm2 {

// k*P for 1 <= k <= n - 1 and P a point of the curve other than infinity, in
// constant time, on the active code path (kernels.hpp).
JacobianPoint mul_point(const Scalar& k, const AffinePoint& p);

// Signed 5-bit windows over a table of P..16P.
inline constexpr int kPointWindowBits = 5;
inline constexpr int kPointDigits = 52;
inline constexpr int kPointTableSize = 1 << (kPointWindowBits - 1);

// The body of mul_point for code path Path. Always inlined, so that each
// path's entry function holds one copy with that path's multiplication.
template <class Path>
[[gnu::always_inline]] inline JacobianPoint mul_point_with(const Scalar& k, const AffinePoint& p) {
  using C = Curve<Path>;
  // P..16P share one Z, whose powers every addition of an entry reuses.
  ct::Wiped<AffinePoint[kPointTableSize]> table;
  const ZPowers table_z = C::powers(C::multiples(table.value, p));

  ct::Wiped<int8_t[kPointDigits]> digits;
  scalar_recode(digits.value, kPointDigits, kPointWindowBits, k);

  // acc = 32*m*P before digit i is added, where m collects the digits above
  // i. For i >= 1, 32m is far below n, so it equals +-digit (mod n) only when
  // m = 0, i.e. acc is infinity, which the addition masks. At i = 0 the two
  // can meet (k = n - 6 gives -3P + -3P), so the last addition is the
  // complete one.
  ct::Wiped<JacobianPoint> acc;
  ct::Wiped<AffinePoint> term;
  acc.value = kInfinity;
  for (int i = kPointDigits - 1; i >= 0; --i) {
    if (i != kPointDigits - 1)
      for (int d = 0; d < kPointWindowBits; ++d) acc.value = C::dbl(acc.value);
    const uint64_t zero = read_signed<Path>(term.value, table.value, kPointTableSize, digits.value[i]);
    point_select(acc.value, C::add_with_z(acc.value, term.value, table_z, i == 0), ~zero);
  }
  return acc.value;
}

}  // namespace kyber_alg::sm2
