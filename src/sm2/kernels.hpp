// SM2's code paths: the scalar multiplications and the conversion to affine
// coordinates (where nearly all of the time goes), each instantiated with its
// path's field multiplication, chosen at load.
#pragma once

#include "common/dispatch.hpp"
#include "sm2/point.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

struct Kernels {
  JacobianPoint (*mul_point)(const Scalar& k, const AffinePoint& p);
  JacobianPoint (*mul_base)(const Scalar& k);
  JacobianPoint (*double_mult_vartime)(const Scalar& u1, const Scalar& u2, const AffinePoint& p);
  AffinePoint (*to_affine)(const JacobianPoint& p);
};

extern const Kernels kPortableKernels;
// MULX (BMI2) and ADCX/ADOX (ADX) for the field multiplication (adx.cpp);
// null when the build has no x86 vector code.
extern const Kernels* const kAdxKernels;

// The path in use; tests and benchmarks may switch it.
Dispatch<Kernels>& kernels();

}  // namespace kyber_alg::sm2
