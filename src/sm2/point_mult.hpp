// k*P for a variable point P (a public key, or C1 of a ciphertext).
#pragma once

#include "common/ct.hpp"
#include "sm2/curve.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

// k*P for 1 <= k <= n - 1 and P a point of the curve other than infinity, in
// constant time, on the active code path (kernels.hpp).
JacobianPoint mul_point(const Scalar& k, const AffinePoint& p);

inline constexpr int kPointTableSize = 1 << (kWindowBits - 1);  // P..16P

// The entry |digit| of the table, negated for a negative digit; reads the whole
// table. A zero digit selects nothing: Z stays 0, the point at infinity.
inline JacobianPoint select_multiple(const JacobianPoint table[kPointTableSize], int8_t digit) {
  const uint64_t sign = ct::mask64_from_bit(static_cast<uint64_t>(static_cast<uint8_t>(digit) >> 7));
  const uint64_t magnitude = (static_cast<uint64_t>(static_cast<int64_t>(digit)) ^ sign) - sign;
  JacobianPoint out{};
  for (int j = 0; j < kPointTableSize; ++j)
    point_select(out, table[j], ct::mask64_zero(magnitude ^ static_cast<uint64_t>(j + 1)));
  conditional_negate(out.y, sign);
  return out;
}

// The body of mul_point for field policy F: signed 5-bit windows over a table
// of P..16P. Always inlined, so that in a path's entry function the table
// reads are compiled for that path's instructions (256-bit selects on avx2).
template <class F>
[[gnu::always_inline]] inline JacobianPoint mul_point_with(const Scalar& k, const AffinePoint& p) {
  using C = Curve<F>;
  ct::Wiped<JacobianPoint[kPointTableSize]> table;
  table.value[0] = to_jacobian(p);
  table.value[1] = C::dbl(table.value[0]);
  // jP + P with P affine: never equal inputs, since P has prime order n > 16.
  for (int j = 2; j < kPointTableSize; ++j) table.value[j] = C::add_affine(table.value[j - 1], p);

  ct::Wiped<int8_t[kDigits]> digits;
  scalar_recode(digits.value, k);

  // acc = 32*m*P before digit i is added, where m collects the digits above
  // i. For i >= 1, 32m is far below n, so it equals +-digit (mod n) only when
  // m = 0, i.e. acc is infinity, which Curve::add masks. At i = 0 the two can
  // meet (k = n - 6 gives -3P + -3P), so the last addition is the complete one.
  ct::Wiped<JacobianPoint> acc;
  acc.value = JacobianPoint{kOne, kOne, Fe{{0, 0, 0, 0}}};
  for (int i = kDigits - 1; i >= 0; --i) {
    if (i != kDigits - 1)
      for (int d = 0; d < kWindowBits; ++d) acc.value = C::dbl(acc.value);
    const JacobianPoint term = select_multiple(table.value, digits.value[i]);
    acc.value = i > 0 ? C::add(acc.value, term) : C::add_complete(acc.value, term);
  }
  return acc.value;
}

}  // namespace kyber_alg::sm2
