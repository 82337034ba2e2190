// The portable kernel table and the dispatch that picks the path at load.
#include "mldsa/kernels.hpp"
#include "mldsa/ntt.hpp"

namespace kyber_alg::mldsa {

const Kernels kPortableKernels = {
    portable::ntt,
    portable::ntt_inverse,
    portable::pointwise_montgomery,
    portable::pointwise_accumulate,
};

Dispatch<Kernels> kernels({&kPortableKernels, nullptr, nullptr});

}  // namespace kyber_alg::mldsa
