// The avx2 kernel table: every vector kernel of this component on AVX2.
#pragma once

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include "encoding_avx2.hpp"
#include "keccak.hpp"
#include "keccak_x4.hpp"
#include "kernels.hpp"
#include "ntt_avx2.hpp"
#include "sampling_avx2.hpp"

namespace kyber_alg::kyber {

inline constexpr Kernels avx2_kernels = {
    .keccak_f1600 = avx2::keccak_f1600,
    .keccak_f1600_x4 = avx2::keccak_f1600_x4,
    .ntt = avx2::ntt,
    .ntt_inverse = avx2::ntt_inverse,
    .multiply_ntts = avx2::multiply_ntts,
    .multiply_ntts_add = avx2::multiply_ntts_add,
    .to_montgomery = avx2::to_montgomery,
    .poly_reduce = avx2::poly_reduce,
    .poly_canonical = avx2::poly_canonical,
    .byte_encode_12 = avx2::byte_encode_12,
    .byte_decode_12_raw = avx2::byte_decode_12_raw,
    .sample_matrix = avx2::sample_matrix,
    .sample_noise_x4_eta1_eta1 = avx2::sample_noise_x4<eta1, eta1>,
    .sample_noise_x4_eta1_eta2 = avx2::sample_noise_x4<eta1, eta2>,
};

}  // namespace kyber_alg::kyber

#endif  // KYBER_ALG_HAVE_X86_VECTOR
