#include "kernels.hpp"

#include "encoding.hpp"
#include "keccak.hpp"
#include "kernels_avx2.hpp"
#include "kernels_avx512.hpp"
#include "ntt.hpp"
#include "sampling.hpp"

namespace kyber_alg::kyber {

const Kernels portable_kernels = {
    .keccak_f1600 = portable::keccak_f1600,
    .keccak_f1600_x4 = nullptr,
    .ntt = portable::ntt,
    .ntt_inverse = portable::ntt_inverse,
    .multiply_ntts = portable::multiply_ntts,
    .multiply_ntts_add = portable::multiply_ntts_add,
    .to_montgomery = portable::to_montgomery,
    .poly_reduce = portable::poly_reduce,
    .poly_canonical = portable::poly_canonical,
    .byte_encode_12 = portable::byte_encode_12,
    .byte_decode_12_raw = portable::byte_decode_12_raw,
    .sample_matrix = portable::sample_matrix,
    .sample_noise_x4_eta1_eta1 = portable::sample_noise_x4<eta1, eta1>,
    .sample_noise_x4_eta1_eta2 = portable::sample_noise_x4<eta1, eta2>,
};

#if KYBER_ALG_HAVE_X86_VECTOR
Dispatch<Kernels> kernels({&portable_kernels, &avx2_kernels, &avx512_kernels});
#else
Dispatch<Kernels> kernels({&portable_kernels, nullptr, nullptr});
#endif

}  // namespace kyber_alg::kyber
