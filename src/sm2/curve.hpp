// Point formulas for a = -3 in Jacobian coordinates, for any code path's
// field policy F (F::mul, F::sqr): each path instantiates them with its own
// multiplication, which is then inlined rather than called through a pointer.
// Everything here runs in constant time; see point.hpp for what each
// operation accepts.
#pragma once

#include "sm2/field.hpp"
#include "sm2/field_invert.hpp"
#include "sm2/point.hpp"

namespace kyber_alg::sm2 {

inline void point_select(JacobianPoint& r, const JacobianPoint& a, uint64_t mask) {
  fe_select(r.x, a.x, mask);
  fe_select(r.y, a.y, mask);
  fe_select(r.z, a.z, mask);
}

// Z, Z^2 and Z^3 of a point, as the additions use them.
struct ZPowers {
  Fe z, z2, z3;
};

template <class F>
struct Curve {
  // Z must be nonzero.
  static AffinePoint to_affine(const JacobianPoint& p) {
    const Fe z_inv = F::mul(fe_invert_plain(p.z), kRCubed);
    const Fe z_inv2 = F::sqr(z_inv);
    return {F::mul(p.x, z_inv2), F::mul(p.y, F::mul(z_inv2, z_inv))};
  }

  static ZPowers powers(const Fe& z) {
    const Fe z2 = F::sqr(z);
    return {z, z2, F::mul(z, z2)};
  }

  // 2P, exception-free. 4M + 4S, arranged to need few additions (they cost a
  // fair share of a multiplication here): with Y2 = 2Y,
  //   S = X * Y2^2 = 4XY^2,  M = 3(X - Z^2)(X + Z^2)  (a = -3),
  //   X3 = M^2 - 2S,  Y3 = M(S - X3) - Y2^4 / 2,  Z3 = Y2 * Z.
  // S and Y2^4 / 2 are also P itself at Z3, (X Z3^2, Y Z3^3): moved_p receives
  // it when given (co-Z doubling, which starts a table of multiples).
  static JacobianPoint dbl(const JacobianPoint& p, AffinePoint* moved_p = nullptr) {
    const Fe z2 = F::sqr(p.z);
    const Fe y2 = fe_double(p.y);
    JacobianPoint r;
    r.z = F::mul(y2, p.z);
    const Fe y2_sq = F::sqr(y2);
    const Fe s = F::mul(p.x, y2_sq);
    const Fe t = F::mul(fe_sub(p.x, z2), fe_add(p.x, z2));
    const Fe m = fe_add(fe_double(t), t);
    const Fe y4_8 = fe_half(F::sqr(y2_sq));
    r.x = fe_sub(F::sqr(m), fe_double(s));
    r.y = fe_sub(F::mul(m, fe_sub(s, r.x)), y4_8);
    if (moved_p) *moved_p = {s, y4_8};
    return r;
  }

  // P + Q for P != Q; either may be the point at infinity.
  static JacobianPoint add(const JacobianPoint& p, const JacobianPoint& q) {
    uint64_t equal;
    JacobianPoint sum = add_formula(p, q.x, q.y, powers(q.z), equal);
    fix_infinity(sum, p, q, fe_is_zero(p.z), fe_is_zero(q.z));
    return sum;
  }

  // P + Q for Q = (q.x, q.y, qz.z), given with the powers of its Z (several
  // points sharing one Z share them); neither is infinity and P != -Q. P != Q
  // too, unless complete is set: then the doubling is computed as well and
  // selected by mask when they are equal.
  static JacobianPoint add_with_z(const JacobianPoint& p, const AffinePoint& q, const ZPowers& qz,
                                  bool complete) {
    uint64_t equal;
    JacobianPoint sum = add_formula(p, q.x, q.y, qz, equal);
    if (complete) point_select(sum, dbl(p), equal);
    return sum;
  }

  // P + Q with Q affine; neither is infinity and P != +-Q.
  static JacobianPoint add_affine(const JacobianPoint& p, const AffinePoint& q) {
    JacobianPoint sum[1] = {p};
    const AffinePoint term[1] = {q};
    add_affine_each(sum, term);
    return sum[0];
  }

  // p[j] += q[j] for N independent pairs, as add_affine, each step taken for
  // every pair in turn so that the processor overlaps their chains of
  // dependent multiplications. The general formula with Z2 = 1: 8M + 3S a
  // pair (U1 = X1, S1 = Y1, Z3 = Z1 H); with PAffine (every p[j].z is one)
  // also Z1 = 1: 4M + 2S.
  template <int N, bool PAffine = false>
  static void add_affine_each(JacobianPoint (&p)[N], const AffinePoint (&q)[N]) {
    Fe h[N], r[N], hh[N], hhh[N], v[N];
    if constexpr (PAffine) {
      for (int j = 0; j < N; ++j) h[j] = fe_sub(q[j].x, p[j].x);
      for (int j = 0; j < N; ++j) r[j] = fe_sub(q[j].y, p[j].y);
    } else {
      for (int j = 0; j < N; ++j) h[j] = F::sqr(p[j].z);                        // Z1^2
      for (int j = 0; j < N; ++j) r[j] = F::mul(p[j].z, h[j]);                  // Z1^3
      for (int j = 0; j < N; ++j) h[j] = fe_sub(F::mul(q[j].x, h[j]), p[j].x);  // U2 - X1
      for (int j = 0; j < N; ++j) r[j] = fe_sub(F::mul(q[j].y, r[j]), p[j].y);  // S2 - Y1
    }
    for (int j = 0; j < N; ++j) hh[j] = F::sqr(h[j]);
    for (int j = 0; j < N; ++j) hhh[j] = F::mul(h[j], hh[j]);
    for (int j = 0; j < N; ++j) v[j] = F::mul(p[j].x, hh[j]);
    for (int j = 0; j < N; ++j) p[j].z = PAffine ? h[j] : F::mul(p[j].z, h[j]);
    for (int j = 0; j < N; ++j) p[j].x = fe_sub(fe_sub(F::sqr(r[j]), hhh[j]), fe_double(v[j]));
    for (int j = 0; j < N; ++j) p[j].y = fe_sub(F::mul(r[j], fe_sub(v[j], p[j].x)), F::mul(p[j].y, hhh[j]));
  }

  // P + Q for Jacobian P and Q, neither infinity and P != -Q; P == Q is
  // handled (the doubling is computed as well and selected by mask).
  static JacobianPoint add_complete(const JacobianPoint& p, const JacobianPoint& q) {
    uint64_t equal;
    JacobianPoint sum = add_formula(p, q.x, q.y, powers(q.z), equal);
    point_select(sum, dbl(p), equal);
    return sum;
  }

  // P1 + P2 for two points with the same Z, neither infinity and P1 != +-P2
  // (Meloni's co-Z addition, 4M + 2S). Returns the sum's (X, Y) and the
  // factor h with Z3 = Z h; p1 becomes P1 at Z3, co-Z with the sum.
  static AffinePoint add_co_z(AffinePoint& p1, const AffinePoint& p2, Fe& h) {
    h = fe_sub(p1.x, p2.x);
    const Fe c = F::sqr(h);
    const Fe w1 = F::mul(p1.x, c);
    const Fe w2 = F::mul(p2.x, c);
    const Fe dy = fe_sub(p1.y, p2.y);
    const Fe a1 = F::mul(p1.y, fe_sub(w1, w2));
    AffinePoint sum;
    sum.x = fe_sub(fe_sub(F::sqr(dy), w1), w2);
    sum.y = fe_sub(F::mul(dy, fe_sub(w1, sum.x)), a1);
    p1 = {w1, a1};
    return sum;
  }

  // table[j] = (2j + 1) P for j < Count, all at one Z, which is returned:
  // X = x Z^2, Y = y Z^3. P not infinity, of order above 2 Count. 2P comes
  // from a co-Z doubling (which also gives P at 2P's Z), each further
  // multiple from a co-Z addition of 2P, and the earlier entries are brought
  // to the last one's Z afterwards: about 11 multiplications an entry, the
  // same as mixed additions, and every later addition of an entry saves a
  // multiplication and a squaring (its Z powers are shared) and reads 64
  // bytes instead of 96.
  template <int Count>
  static Fe odd_multiples(AffinePoint (&table)[Count], const AffinePoint& p) {
    static_assert(Count >= 2 && Count <= kMaxChain);
    AffinePoint moved_p;
    const JacobianPoint two = dbl(to_jacobian(p), &moved_p);
    table[0] = moved_p;
    AffinePoint step = {two.x, two.y};
    return co_z_chain(table, Count, step, two.z);
  }

 private:
  static constexpr int kMaxChain = 16;

  // table[j] = table[0] + j S for 0 < j < count, where table[0] and step (S)
  // start at the same Z = z0, and no addition meets equal x (true for small
  // multiples of a point of large prime order). Returns the Z that every
  // entry ends at.
  static Fe co_z_chain(AffinePoint* table, int count, AffinePoint& step, const Fe& z0) {
    Fe h[kMaxChain];
    for (int j = 1; j < count; ++j) table[j] = add_co_z(step, table[j - 1], h[j]);
    // Entry j is at Z_j = z0 h[1] ... h[j]; it needs h[j + 1] ... h[count - 1].
    Fe ratio = h[count - 1];
    for (int j = count - 2; j >= 0; --j) {
      const Fe ratio2 = F::sqr(ratio);
      table[j] = {F::mul(table[j].x, ratio2), F::mul(table[j].y, F::mul(ratio2, ratio))};
      if (j > 0) ratio = F::mul(ratio, h[j]);
    }
    return F::mul(z0, ratio);
  }

  // 11M + 4S with Q's Z powers given (Z2^2 and Z2^3 are often shared), in
  // the textbook arrangement, which needs fewer additions than add-2007-bl.
  // Also reports whether the inputs were equal (H = 0 and R = 0), the case the
  // formula cannot handle.
  //   U1 = X1 Z2^2, U2 = X2 Z1^2, S1 = Y1 Z2^3, S2 = Y2 Z1^3, H = U2 - U1, R = S2 - S1,
  //   X3 = R^2 - H^3 - 2 U1 H^2, Y3 = R (U1 H^2 - X3) - S1 H^3, Z3 = Z1 Z2 H.
  static JacobianPoint add_formula(const JacobianPoint& p, const Fe& qx, const Fe& qy, const ZPowers& qz,
                                   uint64_t& equal) {
    const Fe z1z1 = F::sqr(p.z);
    const Fe u1 = F::mul(p.x, qz.z2);
    const Fe u2 = F::mul(qx, z1z1);
    const Fe s1 = F::mul(p.y, qz.z3);
    const Fe s2 = F::mul(F::mul(qy, p.z), z1z1);
    const Fe h = fe_sub(u2, u1);
    const Fe r = fe_sub(s2, s1);
    equal = fe_is_zero(h) & fe_is_zero(r);
    const Fe hh = F::sqr(h);
    const Fe hhh = F::mul(h, hh);
    const Fe v = F::mul(u1, hh);
    JacobianPoint out;
    out.x = fe_sub(fe_sub(F::sqr(r), hhh), fe_double(v));
    out.y = fe_sub(F::mul(r, fe_sub(v, out.x)), F::mul(s1, hhh));
    out.z = F::mul(F::mul(p.z, h), qz.z);
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
