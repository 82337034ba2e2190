#include "sm2/point_mult.hpp"

#include "common/ct.hpp"

namespace kyber_alg::sm2 {

namespace {

constexpr int kTableSize = 1 << (kWindowBits - 1);  // P..16P

JacobianPoint select_multiple(const JacobianPoint table[kTableSize], int8_t digit) {
  const uint64_t sign = ct::mask64_from_bit(static_cast<uint64_t>(static_cast<uint8_t>(digit) >> 7));
  const uint64_t magnitude = (static_cast<uint64_t>(static_cast<int64_t>(digit)) ^ sign) - sign;
  // A zero digit selects nothing: Z stays 0, the point at infinity.
  JacobianPoint out{};
  for (int j = 0; j < kTableSize; ++j) {
    const uint64_t hit = ct::mask64_zero(magnitude ^ static_cast<uint64_t>(j + 1));
    fe_select(out.x, table[j].x, hit);
    fe_select(out.y, table[j].y, hit);
    fe_select(out.z, table[j].z, hit);
  }
  conditional_negate(out.y, sign);
  return out;
}

}  // namespace

JacobianPoint mul_point(const Scalar& k, const AffinePoint& p) {
  ct::Wiped<JacobianPoint[kTableSize]> table;
  table.value[0] = to_jacobian(p);
  table.value[1] = point_double(table.value[0]);
  // jP + P with P affine: never equal inputs, since P has prime order n > 16.
  for (int j = 2; j < kTableSize; ++j) table.value[j] = point_add_affine(table.value[j - 1], p);

  ct::Wiped<int8_t[kDigits]> digits;
  scalar_recode(digits.value, k);

  // acc = 32*m*P before digit i is added, where m collects the digits above
  // i. For i >= 1, 32m is far below n, so it equals +-digit (mod n) only when
  // m = 0, i.e. acc is infinity, which point_add masks. At i = 0 the two can
  // meet (k = n - 6 gives -3P + -3P), so the last addition is the complete one.
  ct::Wiped<JacobianPoint> acc;
  acc.value = JacobianPoint{kOne, kOne, Fe{{0, 0, 0, 0}}};
  for (int i = kDigits - 1; i >= 0; --i) {
    if (i != kDigits - 1)
      for (int d = 0; d < kWindowBits; ++d) acc.value = point_double(acc.value);
    const JacobianPoint term = select_multiple(table.value, digits.value[i]);
    acc.value = i > 0 ? point_add(acc.value, term) : point_add_complete(acc.value, term);
  }
  return acc.value;
}

}  // namespace kyber_alg::sm2
