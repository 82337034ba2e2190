// Point formulas for a = -3 in Jacobian coordinates, for any field policy F
// (F::mul, F::sqr): each code path instantiates them with its own field
// multiplication, which is then inlined rather than called through a pointer.
// See point.hpp for what each operation accepts.
#pragma once

#include "sm2/field.hpp"
#include "sm2/point.hpp"

namespace kyber_alg::sm2 {

inline void point_select(JacobianPoint& r, const JacobianPoint& a, uint64_t mask) {
  fe_select(r.x, a.x, mask);
  fe_select(r.y, a.y, mask);
  fe_select(r.z, a.z, mask);
}

template <class F>
struct Curve {
  // Z must be nonzero.
  static AffinePoint to_affine(const JacobianPoint& p) {
    const Fe z_inv = F::mul(fe_invert_plain(p.z), kRCubed);
    const Fe z_inv2 = F::sqr(z_inv);
    return {F::mul(p.x, z_inv2), F::mul(p.y, F::mul(z_inv2, z_inv))};
  }

  // 2P, exception-free. 4M + 4S, arranged to need few additions (they cost a fair share of a
  // multiplication here): with Y2 = 2Y,
  //   S = X * Y2^2 = 4XY^2,  M = 3(X - Z^2)(X + Z^2)  (a = -3),
  //   X3 = M^2 - 2S,  Y3 = M(S - X3) - Y2^4 / 2,  Z3 = Y2 * Z.
  static JacobianPoint dbl(const JacobianPoint& p) {
    const Fe z2 = F::sqr(p.z);
    const Fe y2 = fe_double(p.y);
    JacobianPoint r;
    r.z = F::mul(y2, p.z);
    const Fe y2_sq = F::sqr(y2);
    const Fe s = F::mul(p.x, y2_sq);
    const Fe t = F::mul(fe_sub(p.x, z2), fe_add(p.x, z2));
    const Fe m = fe_add(fe_double(t), t);
    r.x = fe_sub(F::sqr(m), fe_double(s));
    r.y = fe_sub(F::mul(m, fe_sub(s, r.x)), fe_half(F::sqr(y2_sq)));
    return r;
  }

  // P + Q for P != Q; either may be the point at infinity.
  static JacobianPoint add(const JacobianPoint& p, const JacobianPoint& q) {
    uint64_t equal;
    JacobianPoint sum = add_formula(p, q, equal);
    fix_infinity(sum, p, q, fe_is_zero(p.z), fe_is_zero(q.z));
    return sum;
  }

  // P + Q for all inputs, P == Q included (the doubling is computed as well
  // and selected by mask).
  static JacobianPoint add_complete(const JacobianPoint& p, const JacobianPoint& q) {
    uint64_t equal;
    JacobianPoint sum = add_formula(p, q, equal);
    const uint64_t p_inf = fe_is_zero(p.z), q_inf = fe_is_zero(q.z);
    point_select(sum, dbl(p), equal & ~p_inf & ~q_inf);
    fix_infinity(sum, p, q, p_inf, q_inf);
    return sum;
  }

  // P + Q with Q affine (not infinity) and P != Q; P may be infinity. The
  // general formula with Z2 = 1: 8M + 3S (U1 = X1, S1 = Y1, Z3 = Z1 H).
  static JacobianPoint add_affine(const JacobianPoint& p, const AffinePoint& q) {
    const Fe z1z1 = F::sqr(p.z);
    const Fe u2 = F::mul(q.x, z1z1);
    const Fe s2 = F::mul(q.y, F::mul(p.z, z1z1));
    const Fe h = fe_sub(u2, p.x);
    const Fe r = fe_sub(s2, p.y);
    const Fe hh = F::sqr(h);
    const Fe hhh = F::mul(h, hh);
    const Fe v = F::mul(p.x, hh);
    JacobianPoint out;
    out.x = fe_sub(fe_sub(F::sqr(r), hhh), fe_double(v));
    out.y = fe_sub(F::mul(r, fe_sub(v, out.x)), F::mul(p.y, hhh));
    out.z = F::mul(p.z, h);
    point_select(out, to_jacobian(q), fe_is_zero(p.z));
    return out;
  }

 private:
  // 12M + 4S in the textbook arrangement, which needs fewer additions than
  // add-2007-bl's 11M + 5S. Also reports whether the inputs were equal
  // (H = 0 and R = 0), the case the formula cannot handle.
  //   U1 = X1 Z2^2, U2 = X2 Z1^2, S1 = Y1 Z2^3, S2 = Y2 Z1^3, H = U2 - U1, R = S2 - S1,
  //   X3 = R^2 - H^3 - 2 U1 H^2, Y3 = R (U1 H^2 - X3) - S1 H^3, Z3 = Z1 Z2 H.
  static JacobianPoint add_formula(const JacobianPoint& p, const JacobianPoint& q, uint64_t& equal) {
    const Fe z1z1 = F::sqr(p.z);
    const Fe z2z2 = F::sqr(q.z);
    const Fe u1 = F::mul(p.x, z2z2);
    const Fe u2 = F::mul(q.x, z1z1);
    const Fe s1 = F::mul(F::mul(p.y, q.z), z2z2);
    const Fe s2 = F::mul(F::mul(q.y, p.z), z1z1);
    const Fe h = fe_sub(u2, u1);
    const Fe r = fe_sub(s2, s1);
    equal = fe_is_zero(h) & fe_is_zero(r);
    const Fe hh = F::sqr(h);
    const Fe hhh = F::mul(h, hh);
    const Fe v = F::mul(u1, hh);
    JacobianPoint out;
    out.x = fe_sub(fe_sub(F::sqr(r), hhh), fe_double(v));
    out.y = fe_sub(F::mul(r, fe_sub(v, out.x)), F::mul(s1, hhh));
    out.z = F::mul(F::mul(p.z, q.z), h);
    return out;
  }

  // Replaces a sum whose inputs included the point at infinity.
  static void fix_infinity(JacobianPoint& sum, const JacobianPoint& p, const JacobianPoint& q, uint64_t p_inf,
                           uint64_t q_inf) {
    point_select(sum, q, p_inf);
    point_select(sum, p, q_inf);
  }
};

}  // namespace kyber_alg::sm2
