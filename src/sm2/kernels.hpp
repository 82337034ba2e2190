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
  AffinePoint (*to_affine)(const JacobianPoint& p);
};

extern const Kernels kPortableKernels;
// MULX (BMI2) and ADCX/ADOX (ADX); null when the build has no x86 vector code.
// The avx2 path is offered only on CPUs that also have ADX.
extern const Kernels* const kAvx2Kernels;

// The path in use; tests and benchmarks may switch it.
Dispatch<Kernels>& kernels();

}  // namespace kyber_alg::sm2
