// k*P on the active code path.
#include "sm2/point_mult.hpp"

#include "sm2/kernels.hpp"

namespace kyber_alg::sm2 {

JacobianPoint mul_point(const Scalar& k, const AffinePoint& p) { return kernels()->mul_point(k, p); }

}  // namespace kyber_alg::sm2
