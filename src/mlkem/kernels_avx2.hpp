// The avx2 kernel table: every vector kernel of this component on AVX2.
#pragma once

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include "encoding_avx2.hpp"
#include "keccak.hpp"
#include "keccak_x4.hpp"
#include "kernels.hpp"
#include "ntt_avx2.hpp"
#include "sampling.hpp"
#include "sampling_avx2.hpp"

namespace kyber_alg::kyber {

namespace avx2 {

// The set kernels on AVX2; with SingleByX4, sampling sends even a lone
// polynomial through the four-way permutation (see kernels_avx512.hpp).
template <class P, bool SingleByX4>
inline constexpr SetKernels<P> set_kernels = {
    .keygen_expand = SingleByX4 ? keygen_expand_x4<P> : k_pke_keygen_expand<P>,
    .sample_matrix = sample_matrix<P, SingleByX4>,
    .sample_noise_keygen = sample_noise_keygen<P, SingleByX4>,
    .sample_noise_encrypt = sample_noise_encrypt<P, SingleByX4>,
    .decaps_hashes = SingleByX4 ? decaps_hashes_x4<P> : portable::decaps_hashes<P>,
    .multiply_accumulate = multiply_accumulate<P::k>,
};

}  // namespace avx2

inline constexpr Kernels avx2_kernels = {
    .keccak_f1600 = avx2::keccak_f1600,
    .keccak_f1600_x4 = avx2::keccak_f1600_x4,
    .ntt = avx2::ntt,
    .ntt_inverse = avx2::ntt_inverse,
    .mul_cache = avx2::mul_cache,
    .to_montgomery = avx2::to_montgomery,
    .poly_reduce = avx2::poly_reduce,
    .poly_canonical = avx2::poly_canonical,
    .byte_encode_12 = avx2::byte_encode_12,
    .byte_decode_12_raw = avx2::byte_decode_12_raw,
    .compress_encode_1 = avx2::compress_encode<1>,
    .compress_encode_4 = avx2::compress_encode<4>,
    .compress_encode_5 = avx2::compress_encode<5>,
    .compress_encode_10 = avx2::compress_encode<10>,
    .compress_encode_11 = avx2::compress_encode<11>,
    .decode_decompress_1 = avx2::decode_decompress<1>,
    .decode_decompress_4 = avx2::decode_decompress<4>,
    .decode_decompress_5 = avx2::decode_decompress<5>,
    .decode_decompress_10 = avx2::decode_decompress<10>,
    .decode_decompress_11 = avx2::decode_decompress<11>,
    .mlkem512 = avx2::set_kernels<MlKem512, false>,
    .mlkem768 = avx2::set_kernels<MlKem768, false>,
    .mlkem1024 = avx2::set_kernels<MlKem1024, false>,
};

}  // namespace kyber_alg::kyber

#endif  // KYBER_ALG_HAVE_X86_VECTOR
