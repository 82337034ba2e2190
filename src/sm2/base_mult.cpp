// The precomputed table of multiples of G (built on the portable path).
#include "sm2/base_mult.hpp"

#include <vector>

namespace kyber_alg::sm2 {

namespace {

// Converts many points to affine with one inversion (Montgomery's trick).
void batch_to_affine(AffinePoint* out, const JacobianPoint* in, std::size_t count) {
  std::vector<Fe> prefix(count);
  Fe acc = kOne;
  for (std::size_t i = 0; i < count; ++i) {
    prefix[i] = acc;
    acc = fe_mul(acc, in[i].z);
  }
  Fe inv = fe_invert(acc);
  for (std::size_t i = count; i-- > 0;) {
    const Fe z_inv = fe_mul(inv, prefix[i]);
    inv = fe_mul(inv, in[i].z);
    const Fe z_inv2 = fe_sqr(z_inv);
    out[i] = {fe_mul(in[i].x, z_inv2), fe_mul(in[i].y, fe_mul(z_inv2, z_inv))};
  }
}

const BaseTable& build() {
  // Public data only: no constant-time requirement here.
  static BaseTable table;
  std::vector<JacobianPoint> points(static_cast<std::size_t>(kDigits) * kBaseRowSize);
  JacobianPoint base = to_jacobian(generator());
  for (int i = 0; i < kDigits; ++i) {
    JacobianPoint* row = &points[static_cast<std::size_t>(i) * kBaseRowSize];
    row[0] = base;
    row[1] = point_double(base);
    for (int j = 2; j < kBaseRowSize; ++j) row[j] = point_add(row[j - 1], base);  // (j+1)B != B
    base = point_double(row[kBaseRowSize - 1]);                                   // 32 * B
  }
  batch_to_affine(&table.row[0][0], points.data(), points.size());
  return table;
}

}  // namespace

const BaseTable& base_table() {
  static const BaseTable& table = build();
  return table;
}

}  // namespace kyber_alg::sm2
