// The kernel table of the avx2 path; its vector bodies live beside the
// portable code of each concept (ntt_avx2.cpp).
#include "common/cpu.hpp"
#include "mldsa/kernels.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include "mldsa/ntt_avx2.hpp"

namespace kyber_alg::mldsa {

const Kernels kAvx2Kernels = {
    avx2::ntt, avx2::ntt_inverse, avx2::pointwise_montgomery, avx2::pointwise_accumulate, true,
};

}  // namespace kyber_alg::mldsa

#endif
