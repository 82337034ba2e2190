// The precomputed table of multiples of G (built on the portable path), and
// k*G on the active code path.
#include "sm2/base_mult.hpp"

#include <vector>

#include "sm2/kernels.hpp"

namespace kyber_alg::sm2 {

namespace {

const BaseTable& build() {
  // Public data only: no constant-time requirement here.
  static BaseTable table;
  std::vector<JacobianPoint> points(static_cast<std::size_t>(kBaseDigits) * kBaseRowSize);
  JacobianPoint base = to_jacobian(generator());
  for (int i = 0; i < kBaseDigits; ++i) {
    JacobianPoint* row = &points[static_cast<std::size_t>(i) * kBaseRowSize];
    const JacobianPoint two = point_double(base);
    row[0] = base;
    for (int j = 1; j < kBaseRowSize; ++j) row[j] = point_add(row[j - 1], two);  // (2j-1)B != 2B
    base = point_add(row[kBaseRowSize - 1], base);                               // 127B + B = 128B
  }
  batch_to_affine(&table.row[0][0], points.data(), points.size());
  return table;
}

}  // namespace

const BaseTable& base_table() {
  static const BaseTable& table = build();
  return table;
}

JacobianPoint mul_base(const Scalar& k) { return kernels()->mul_base(k); }

}  // namespace kyber_alg::sm2
