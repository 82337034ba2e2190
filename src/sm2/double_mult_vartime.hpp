// u1*G + u2*P for public scalars and a public point, as signature
// verification needs it. Variable time (branches and table indexes follow the
// scalars): interleaved width-w NAFs (Straus-Shamir), one chain of doublings
// to which odd multiples of G are added from a precomputed affine table and
// odd multiples of P from a table built per call, all at one Z.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "sm2/curve.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

// u1*G + u2*P for any u1, u2 below 2^256 (in effect reduced mod n) and P a
// point of the curve other than infinity. Returns false, leaving out alone,
// when the sum is the point at infinity. Variable time: public inputs only.
// On the active code path (kernels.hpp).
bool double_base_mult(const Scalar& u1, const Scalar& u2, const AffinePoint& p, AffinePoint& out);

// Window widths: G's table holds 1G, 3G, ..., 511G (16 KB, built once); P's
// holds P, 3P, ..., 31P, built per call (widths 9 and 5 measured 2% slower).
inline constexpr int kGWnafWidth = 10;
inline constexpr int kPWnafWidth = 6;
inline constexpr int kGOddMultiples = 1 << (kGWnafWidth - 2);
inline constexpr int kPOddMultiples = 1 << (kPWnafWidth - 2);
// A width-w NAF of a number below 2^256 has at most 257 digits.
inline constexpr int kWnafMaxDigits = 257;

struct GOddTable {
  AffinePoint odd[kGOddMultiples];  // odd[j] = (2j + 1) G
};

// Built on first use, on the portable path.
const GOddTable& g_odd_table();

// Width-w NAF of s (variable time): s = sum of digits[i] 2^i, each digit zero
// or odd with |digit| < 2^(w-1), and of any w consecutive digits at most one
// nonzero. Returns the number of digits.
int wnaf_recode(int16_t digits[kWnafMaxDigits], const Scalar& s, int width);

// Public-data additions: the rare cases (either input infinity, equal or
// opposite points) take branches.
template <class F>
struct PublicAdd {
  using C = Curve<F>;

  // acc + Q for Q = (q.x, q.y) at Z qz (qz.z = 1 for an affine point); -Q for negate.
  static void add(JacobianPoint& acc, bool& acc_infinite, AffinePoint q, const ZPowers* qz, bool negate) {
    if (negate) q.y = fe_neg(q.y);
    if (acc_infinite) {
      acc = {q.x, q.y, qz ? qz->z : kOne};
      acc_infinite = false;
      return;
    }
    const JacobianPoint sum = qz ? C::add_with_z(acc, q, *qz, false) : C::add_affine(acc, q);
    if (fe_is_zero(sum.z) == 0) {
      acc = sum;
      return;
    }
    // Same x: Q = acc (double) or Q = -acc (infinity). Compare Y1 Z2^3 with Y2 Z1^3.
    const Fe z1_3 = F::mul(acc.z, F::sqr(acc.z));
    const Fe y1 = qz ? F::mul(acc.y, qz->z3) : acc.y;
    if (fe_equal(y1, F::mul(q.y, z1_3)) != 0) {
      acc = C::dbl(acc);
    } else {
      acc_infinite = true;
      acc = kInfinity;
    }
  }
};

// The body of double_base_mult for code path Path, without the conversion
// to affine coordinates; Z = 0 for the point at infinity.
template <class Path>
JacobianPoint double_mult_vartime_with(const Scalar& u1, const Scalar& u2, const AffinePoint& p) {
  using C = Curve<Path>;
  using Add = PublicAdd<Path>;
  AffinePoint p_odd[kPOddMultiples];
  const ZPowers p_z = C::powers(C::odd_multiples(p_odd, p));
  const GOddTable& g = g_odd_table();
  int16_t d1[kWnafMaxDigits], d2[kWnafMaxDigits];
  const int n1 = wnaf_recode(d1, u1, kGWnafWidth);
  const int n2 = wnaf_recode(d2, u2, kPWnafWidth);
  JacobianPoint acc = kInfinity;
  bool infinite = true;
  for (int i = std::max(n1, n2) - 1; i >= 0; --i) {
    if (!infinite) acc = C::dbl(acc);
    if (i < n1 && d1[i] != 0) Add::add(acc, infinite, g.odd[(std::abs(d1[i]) - 1) / 2], nullptr, d1[i] < 0);
    if (i < n2 && d2[i] != 0) Add::add(acc, infinite, p_odd[(std::abs(d2[i]) - 1) / 2], &p_z, d2[i] < 0);
  }
  return acc;
}

}  // namespace kyber_alg::sm2
