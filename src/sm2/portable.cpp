// The portable path's kernels, the dispatch between paths, and the entry
// points the rest of SM2 calls.
#include "sm2/kernels.hpp"

#include "sm2/base_mult.hpp"
#include "sm2/point_mult.hpp"

namespace kyber_alg::sm2 {

namespace {

JacobianPoint mul_point_portable(const Scalar& k, const AffinePoint& p) {
  return mul_point_with<PortableField>(k, p);
}

JacobianPoint mul_base_portable(const Scalar& k) { return mul_base_with<PortableField>(k); }

AffinePoint to_affine_portable(const JacobianPoint& p) { return Curve<PortableField>::to_affine(p); }

}  // namespace

const Kernels kPortableKernels = {mul_point_portable, mul_base_portable, to_affine_portable};

Dispatch<Kernels>& kernels() {
  static Dispatch<Kernels> dispatch(
      KernelSet<Kernels>{&kPortableKernels, cpu_has_adx() ? kAvx2Kernels : nullptr, nullptr});
  return dispatch;
}

JacobianPoint mul_point(const Scalar& k, const AffinePoint& p) { return kernels()->mul_point(k, p); }

JacobianPoint mul_base(const Scalar& k) { return kernels()->mul_base(k); }

AffinePoint to_affine(const JacobianPoint& p) { return kernels()->to_affine(p); }

}  // namespace kyber_alg::sm2
