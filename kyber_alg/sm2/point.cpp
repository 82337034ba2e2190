// Point formulas for a = -3 in Jacobian coordinates.
#include "sm2/point.hpp"

#include "common/ct.hpp"

namespace kyber_alg::sm2 {

namespace {

constexpr Fe kGeneratorX = {{0x715a4589334c74c7, 0x8fe30bbff2660be1, 0x5f9904466a39c994, 0x32c4ae2c1f198119}};
constexpr Fe kGeneratorY = {{0x02df32e52139f0a0, 0xd0a9877cc62a4740, 0x59bdcee36b692153, 0xbc3736a2f4f6779c}};
constexpr Fe kCurveB = {{0xddbcbd414d940e93, 0xf39789f515ab8f92, 0x4d5a9e4bcf6509a7, 0x28e9fa9e9d9f5e34}};

void point_select(JacobianPoint& r, const JacobianPoint& a, uint64_t mask) {
  fe_select(r.x, a.x, mask);
  fe_select(r.y, a.y, mask);
  fe_select(r.z, a.z, mask);
}

}  // namespace

const AffinePoint& generator() {
  static const AffinePoint g{to_montgomery(kGeneratorX), to_montgomery(kGeneratorY)};
  return g;
}

const Fe& curve_b() {
  static const Fe b = to_montgomery(kCurveB);
  return b;
}

JacobianPoint to_jacobian(const AffinePoint& p) { return {p.x, p.y, kOne}; }

AffinePoint to_affine(const JacobianPoint& p) {
  const Fe z_inv = fe_invert(p.z);
  const Fe z_inv2 = fe_sqr(z_inv);
  return {fe_mul(p.x, z_inv2), fe_mul(p.y, fe_mul(z_inv2, z_inv))};
}

// 4M + 4S, arranged to need few additions (they cost a fair share of a
// multiplication here): with Y2 = 2Y,
//   S = X * Y2^2 = 4XY^2,  M = 3(X - Z^2)(X + Z^2)  (a = -3),
//   X3 = M^2 - 2S,  Y3 = M(S - X3) - Y2^4 / 2,  Z3 = Y2 * Z.
JacobianPoint point_double(const JacobianPoint& p) {
  const Fe z2 = fe_sqr(p.z);
  const Fe y2 = fe_double(p.y);
  JacobianPoint r;
  r.z = fe_mul(y2, p.z);
  const Fe y2_sq = fe_sqr(y2);
  const Fe s = fe_mul(p.x, y2_sq);
  const Fe t = fe_mul(fe_sub(p.x, z2), fe_add(p.x, z2));
  const Fe m = fe_add(fe_double(t), t);
  r.x = fe_sub(fe_sqr(m), fe_double(s));
  r.y = fe_sub(fe_mul(m, fe_sub(s, r.x)), fe_half(fe_sqr(y2_sq)));
  return r;
}

namespace {

// 12M + 4S in the textbook arrangement, which needs fewer additions than
// add-2007-bl's 11M + 5S. Also reports whether the inputs were equal
// (H = 0 and R = 0), the case the formula cannot handle.
//   U1 = X1 Z2^2, U2 = X2 Z1^2, S1 = Y1 Z2^3, S2 = Y2 Z1^3, H = U2 - U1, R = S2 - S1,
//   X3 = R^2 - H^3 - 2 U1 H^2, Y3 = R (U1 H^2 - X3) - S1 H^3, Z3 = Z1 Z2 H.
JacobianPoint add_formula(const JacobianPoint& p, const JacobianPoint& q, uint64_t& equal) {
  const Fe z1z1 = fe_sqr(p.z);
  const Fe z2z2 = fe_sqr(q.z);
  const Fe u1 = fe_mul(p.x, z2z2);
  const Fe u2 = fe_mul(q.x, z1z1);
  const Fe s1 = fe_mul(fe_mul(p.y, q.z), z2z2);
  const Fe s2 = fe_mul(fe_mul(q.y, p.z), z1z1);
  const Fe h = fe_sub(u2, u1);
  const Fe r = fe_sub(s2, s1);
  equal = fe_is_zero(h) & fe_is_zero(r);
  const Fe hh = fe_sqr(h);
  const Fe hhh = fe_mul(h, hh);
  const Fe v = fe_mul(u1, hh);
  JacobianPoint out;
  out.x = fe_sub(fe_sub(fe_sqr(r), hhh), fe_double(v));
  out.y = fe_sub(fe_mul(r, fe_sub(v, out.x)), fe_mul(s1, hhh));
  out.z = fe_mul(fe_mul(p.z, q.z), h);
  return out;
}

// Replaces a sum whose inputs included the point at infinity.
void fix_infinity(JacobianPoint& sum, const JacobianPoint& p, const JacobianPoint& q, uint64_t p_inf,
                  uint64_t q_inf) {
  point_select(sum, q, p_inf);
  point_select(sum, p, q_inf);
}

}  // namespace

JacobianPoint point_add(const JacobianPoint& p, const JacobianPoint& q) {
  uint64_t equal;
  JacobianPoint sum = add_formula(p, q, equal);
  fix_infinity(sum, p, q, fe_is_zero(p.z), fe_is_zero(q.z));
  return sum;
}

JacobianPoint point_add_complete(const JacobianPoint& p, const JacobianPoint& q) {
  uint64_t equal;
  JacobianPoint sum = add_formula(p, q, equal);
  const uint64_t p_inf = fe_is_zero(p.z), q_inf = fe_is_zero(q.z);
  point_select(sum, point_double(p), equal & ~p_inf & ~q_inf);
  fix_infinity(sum, p, q, p_inf, q_inf);
  return sum;
}

// The same with Z2 = 1: 8M + 3S (U1 = X1, S1 = Y1, Z3 = Z1 H).
JacobianPoint point_add_affine(const JacobianPoint& p, const AffinePoint& q) {
  const Fe z1z1 = fe_sqr(p.z);
  const Fe u2 = fe_mul(q.x, z1z1);
  const Fe s2 = fe_mul(q.y, fe_mul(p.z, z1z1));
  const Fe h = fe_sub(u2, p.x);
  const Fe r = fe_sub(s2, p.y);
  const Fe hh = fe_sqr(h);
  const Fe hhh = fe_mul(h, hh);
  const Fe v = fe_mul(p.x, hh);
  JacobianPoint out;
  out.x = fe_sub(fe_sub(fe_sqr(r), hhh), fe_double(v));
  out.y = fe_sub(fe_mul(r, fe_sub(v, out.x)), fe_mul(p.y, hhh));
  out.z = fe_mul(p.z, h);
  point_select(out, to_jacobian(q), fe_is_zero(p.z));
  return out;
}

void conditional_negate(Fe& y, uint64_t mask) { fe_select(y, fe_neg(y), mask); }

bool is_on_curve(const AffinePoint& p) {
  // y^2 = x^3 - 3x + b = x(x^2 - 3) + b
  const Fe three = fe_add(fe_double(kOne), kOne);
  const Fe rhs = fe_add(fe_mul(p.x, fe_sub(fe_sqr(p.x), three)), curve_b());
  return fe_equal(fe_sqr(p.y), rhs) != 0;
}

}  // namespace kyber_alg::sm2
