// The kernel table of the avx2 path. Its vector bodies live beside the
// portable code of each concept (ntt_avx2.cpp, encoding_avx2.cpp,
// sampling_avx2.cpp, keccak_avx2.cpp, keccak_x4_avx2.cpp).
#include "common/cpu.hpp"
#include "mlkem/kernels.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include "mlkem/encoding_avx2.hpp"
#include "mlkem/k_pke.hpp"
#include "mlkem/keccak_avx2.hpp"
#include "mlkem/keccak_x4_avx2.hpp"
#include "mlkem/ntt_avx2.hpp"
#include "mlkem/sampling.hpp"
#include "mlkem/sampling_avx2.hpp"

namespace kyber_alg::mlkem {

namespace {

template <class P>
constexpr SetKernels<P> set_kernels = {
    .keygen_expand = k_pke_keygen_expand<P>,
    .sample_matrix = avx2::sample_matrix<P, false>,
    .sample_noise_keygen = avx2::sample_noise_keygen<P, false>,
    .sample_noise_encrypt = avx2::sample_noise_encrypt<P, false>,
    .decaps_hashes = portable::decaps_hashes<P>,
    .multiply_accumulate = avx2::multiply_accumulate<P::k>,
};

}  // namespace

// Constant (initialised before any code runs): avx512.cpp builds on it.
constinit const Kernels kAvx2Kernels = {
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
    .compress_encode = {avx2::compress_encode<1>, avx2::compress_encode<4>, avx2::compress_encode<5>,
                        avx2::compress_encode<10>, avx2::compress_encode<11>},
    .decode_decompress = {avx2::decode_decompress<1>, avx2::decode_decompress<4>, avx2::decode_decompress<5>,
                          avx2::decode_decompress<10>, avx2::decode_decompress<11>},
    .mlkem512 = set_kernels<MlKem512>,
    .mlkem768 = set_kernels<MlKem768>,
    .mlkem1024 = set_kernels<MlKem1024>,
};

}  // namespace kyber_alg::mlkem

#endif  // KYBER_ALG_HAVE_X86_VECTOR
