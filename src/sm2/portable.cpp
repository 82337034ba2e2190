// The portable path's kernels and the dispatch between paths.
#include "sm2/base_mult.hpp"
#include "sm2/double_mult_vartime.hpp"
#include "sm2/kernels.hpp"
#include "sm2/point_mult.hpp"

namespace kyber_alg::sm2 {

namespace {

// The baseline multiplication (field.hpp) and the word-by-word table read.
struct PortablePath : PortableField {
  static void read(AffinePoint& out, const AffinePoint* table, int count, uint64_t index) {
    kPortableTableKernels.read(out, table, count, index);
  }
};

JacobianPoint mul_point_portable(const Scalar& k, const AffinePoint& p) {
  return mul_point_with<PortablePath>(k, p);
}

JacobianPoint mul_base_portable(const Scalar& k) { return mul_base_with<PortablePath>(k); }

JacobianPoint double_mult_vartime_portable(const Scalar& u1, const Scalar& u2, const AffinePoint& p) {
  return double_mult_vartime_with<PortablePath>(u1, u2, p);
}

AffinePoint to_affine_portable(const JacobianPoint& p) { return Curve<PortablePath>::to_affine(p); }

}  // namespace

const Kernels kPortableKernels = {mul_point_portable, mul_base_portable, double_mult_vartime_portable,
                                  to_affine_portable};

Dispatch<Kernels>& kernels() {
  static Dispatch<Kernels> dispatch(KernelSet<Kernels>{&kPortableKernels, nullptr, nullptr, kAdxKernels});
  return dispatch;
}

}  // namespace kyber_alg::sm2
