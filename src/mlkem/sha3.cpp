// The kernel table of the sha3 path (aarch64 with EOR3, RAX1, XAR and BCAX):
// the Keccak permutation on the SHA3 instructions (keccak_sha3.cpp), the other
// kernels portable.
#include "common/cpu.hpp"
#include "mlkem/kernels.hpp"

#if KYBER_ALG_HAVE_ARM_VECTOR

#include "mlkem/encoding.hpp"
#include "mlkem/k_pke.hpp"
#include "mlkem/keccak_sha3.hpp"
#include "mlkem/ntt.hpp"
#include "mlkem/sampling.hpp"

namespace kyber_alg::mlkem {

namespace {

template <class P>
constexpr SetKernels<P> set_kernels = {
    .keygen_expand = k_pke_keygen_expand<P>,
    .sample_matrix = portable::sample_matrix<P>,
    .sample_noise_keygen = portable::sample_noise_keygen<P>,
    .sample_noise_encrypt = portable::sample_noise_encrypt<P>,
    .decaps_hashes = portable::decaps_hashes<P>,
    .multiply_accumulate = portable::multiply_accumulate<P::k>,
};

}  // namespace

constinit const Kernels kSha3Kernels = {
    .keccak_f1600 = sha3::keccak_f1600,
    .keccak_f1600_x4 = nullptr,
    .ntt = portable::ntt,
    .ntt_inverse = portable::ntt_inverse,
    .mul_cache = portable::mul_cache,
    .to_montgomery = portable::to_montgomery,
    .poly_reduce = portable::poly_reduce,
    .poly_canonical = portable::poly_canonical,
    .byte_encode_12 = portable::byte_encode_12,
    .byte_decode_12_raw = portable::byte_decode_12_raw,
    .compress_encode = {portable::compress_encode<1>, portable::compress_encode<4>,
                        portable::compress_encode<5>, portable::compress_encode<10>,
                        portable::compress_encode<11>},
    .decode_decompress = {portable::decode_decompress<1>, portable::decode_decompress<4>,
                          portable::decode_decompress<5>, portable::decode_decompress<10>,
                          portable::decode_decompress<11>},
    .mlkem512 = set_kernels<MlKem512>,
    .mlkem768 = set_kernels<MlKem768>,
    .mlkem1024 = set_kernels<MlKem1024>,
};

}  // namespace kyber_alg::mlkem

#endif
