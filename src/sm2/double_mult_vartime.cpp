// The table of odd multiples of G, the width-w NAF, and u1*G + u2*P on the
// active code path.
#include "sm2/double_mult_vartime.hpp"

#include <vector>

#include "sm2/kernels.hpp"

namespace kyber_alg::sm2 {

namespace {

const GOddTable& build() {
  static GOddTable table;
  std::vector<JacobianPoint> points(kGOddMultiples);
  const JacobianPoint g = to_jacobian(generator());
  const JacobianPoint two_g = point_double(g);
  points[0] = g;
  for (int j = 1; j < kGOddMultiples; ++j) points[j] = point_add(points[j - 1], two_g);  // (2j+1)G != 2G
  batch_to_affine(table.odd, points.data(), points.size());
  return table;
}

}  // namespace

const GOddTable& g_odd_table() {
  static const GOddTable& table = build();
  return table;
}

int wnaf_recode(int16_t digits[kWnafMaxDigits], const Scalar& s, int width) {
  // Five limbs: subtracting a negative digit may carry into bit 256.
  uint64_t k[5] = {s.v[0], s.v[1], s.v[2], s.v[3], 0};
  const int64_t window = int64_t{1} << width;
  int count = 0;
  while ((k[0] | k[1] | k[2] | k[3] | k[4]) != 0) {
    int64_t digit = 0;
    if (k[0] & 1) {
      digit = static_cast<int64_t>(k[0] & static_cast<uint64_t>(window - 1));
      if (digit >= window / 2) digit -= window;
      // k -= digit: a positive digit is the low bits of k (no borrow), a
      // negative one is added with a carry that may run up the limbs.
      if (digit > 0) {
        k[0] -= static_cast<uint64_t>(digit);
      } else {
        uint64_t carry = static_cast<uint64_t>(-digit);
        for (int i = 0; i < 5 && carry != 0; ++i) {
          k[i] += carry;
          carry = k[i] < carry ? 1 : 0;
        }
      }
    }
    digits[count++] = static_cast<int16_t>(digit);
    for (int i = 0; i < 4; ++i) k[i] = (k[i] >> 1) | (k[i + 1] << 63);
    k[4] >>= 1;
  }
  return count;
}

bool double_base_mult(const Scalar& u1, const Scalar& u2, const AffinePoint& p, AffinePoint& out) {
  const JacobianPoint sum = kernels()->double_mult_vartime(u1, u2, p);
  if (fe_is_zero(sum.z) != 0) return false;
  // Public: the variable-time inversion, in Montgomery form (see kRCubed).
  const Fe z_inv = fe_mul(fe_invert_plain_vartime(sum.z), kRCubed);
  const Fe z_inv2 = fe_sqr(z_inv);
  out = {fe_mul(sum.x, z_inv2), fe_mul(sum.y, fe_mul(z_inv2, z_inv))};
  return true;
}

}  // namespace kyber_alg::sm2
