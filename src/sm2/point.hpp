// Points of the SM2 curve y^2 = x^3 - 3x + b over the prime field, in affine
// and Jacobian coordinates (x = X/Z^2, y = Y/Z^3; Z = 0 is the point at
// infinity). Coordinates are field elements in Montgomery form.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm2/field.hpp"

namespace kyber_alg::sm2 {

struct AffinePoint {
  Fe x, y;
};

struct JacobianPoint {
  Fe x, y, z;
};

// The base point G of sm2p256v1.
const AffinePoint& generator();
// The curve coefficient b.
const Fe& curve_b();

inline JacobianPoint to_jacobian(const AffinePoint& p) { return {p.x, p.y, kOne}; }
// Z must be nonzero. Inverts Z in constant time, on the active code path
// (kernels.hpp).
AffinePoint to_affine(const JacobianPoint& p);

inline constexpr JacobianPoint kInfinity = {kOne, kOne, Fe{{0, 0, 0, 0}}};

// The point operations below are the portable path's (curve.hpp has them for
// every path); the precomputed table of multiples of G is built with them.

// 2P. Exception-free: the point at infinity doubles to itself, and the
// group has no point of order two.
JacobianPoint point_double(const JacobianPoint& p);

// P + Q for P != Q. Either input may be the point at infinity (handled by
// masked selects); P == Q is the one input the formula gets wrong, and the
// scalar multiplications only call it where that cannot happen.
JacobianPoint point_add(const JacobianPoint& p, const JacobianPoint& q);

// Many points (none infinity) to affine with one inversion (Montgomery's
// trick), on the portable path: for tables of public points.
void batch_to_affine(AffinePoint* out, const JacobianPoint* in, std::size_t count);

// P = mask ? -P : P (y negated), for mask 0 or all ones.
inline void conditional_negate(Fe& y, uint64_t mask) { fe_select(y, fe_neg(y), mask); }

// True if the affine point satisfies the curve equation (public inputs only).
bool is_on_curve(const AffinePoint& p);

}  // namespace kyber_alg::sm2
