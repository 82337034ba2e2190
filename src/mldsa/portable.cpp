// The portable kernel table and the dispatch that picks the path at load.
#include "mldsa/kernels.hpp"
#include "mldsa/ntt.hpp"

namespace kyber_alg::mldsa {

const Kernels kPortableKernels = {
    portable::ntt, portable::ntt_inverse, portable::pointwise_montgomery, portable::pointwise_accumulate,
    false,
};

#if KYBER_ALG_HAVE_X86_VECTOR
Dispatch<Kernels> kernels({&kPortableKernels, &kAvx2Kernels, nullptr});
#else
Dispatch<Kernels> kernels({&kPortableKernels, nullptr, nullptr});
#endif

}  // namespace kyber_alg::mldsa
