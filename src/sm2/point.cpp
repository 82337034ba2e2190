// The portable path's point operations, the curve's constants, and the
// conversion to affine coordinates on the active code path.
#include "sm2/point.hpp"

#include <vector>

#include "sm2/curve.hpp"
#include "sm2/kernels.hpp"

namespace kyber_alg::sm2 {

namespace {

constexpr Fe kGeneratorX = {{0x715a4589334c74c7, 0x8fe30bbff2660be1, 0x5f9904466a39c994, 0x32c4ae2c1f198119}};
constexpr Fe kGeneratorY = {{0x02df32e52139f0a0, 0xd0a9877cc62a4740, 0x59bdcee36b692153, 0xbc3736a2f4f6779c}};
constexpr Fe kCurveB = {{0xddbcbd414d940e93, 0xf39789f515ab8f92, 0x4d5a9e4bcf6509a7, 0x28e9fa9e9d9f5e34}};

using PortableCurve = Curve<PortableField>;

}  // namespace

const AffinePoint& generator() {
  static const AffinePoint g{to_montgomery(kGeneratorX), to_montgomery(kGeneratorY)};
  return g;
}

const Fe& curve_b() {
  static const Fe b = to_montgomery(kCurveB);
  return b;
}

AffinePoint to_affine(const JacobianPoint& p) { return kernels()->to_affine(p); }

JacobianPoint point_double(const JacobianPoint& p) { return PortableCurve::dbl(p); }

JacobianPoint point_add(const JacobianPoint& p, const JacobianPoint& q) { return PortableCurve::add(p, q); }

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

bool is_on_curve(const AffinePoint& p) {
  // y^2 = x^3 - 3x + b = x(x^2 - 3) + b
  const Fe three = fe_add(fe_double(kOne), kOne);
  const Fe rhs = fe_add(fe_mul(p.x, fe_sub(fe_sqr(p.x), three)), curve_b());
  return fe_equal(fe_sqr(p.y), rhs) != 0;
}

}  // namespace kyber_alg::sm2
