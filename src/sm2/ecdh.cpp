#include "sm2/ecdh.hpp"

#include "common/ct.hpp"
#include "sm2/kernels.hpp"

namespace kyber_alg::sm2 {

void ecdh_shared_x(uint8_t out[kSharedSecretSize], const Scalar& d, const AffinePoint& q) {
  ct::Wiped<JacobianPoint> shared;
  shared.value = kernels()->mul_point(d, q);
  ct::Wiped<AffinePoint> affine;
  affine.value = to_affine(shared.value);
  ct::Wiped<Fe> x;
  x.value = from_montgomery(affine.value.x);
  fe_to_bytes(out, x.value);
}

}  // namespace kyber_alg::sm2
