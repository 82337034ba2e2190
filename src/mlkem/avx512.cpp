// The kernel table of the avx512 path: the avx2 table with the four-way
// Keccak on AVX-512VL instructions (one-instruction rotations, ternary
// logic, keccak_x4_avx512.cpp). That permutation costs less than the
// one-state permutation, so sampling and the hashing of key generation and
// decapsulation use it even for a batch of one. Only the permutations
// differ, so results are those of the avx2 path.
#include "common/cpu.hpp"
#include "mlkem/kernels.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include "mlkem/keccak_x4_avx512.hpp"
#include "mlkem/ntt_avx2.hpp"
#include "mlkem/sampling_avx2.hpp"

namespace kyber_alg::mlkem {

namespace {

template <class P>
constexpr SetKernels<P> set_kernels = {
    .keygen_expand = avx2::keygen_expand_x4<P>,
    .sample_matrix = avx2::sample_matrix<P, true>,
    .sample_noise_keygen = avx2::sample_noise_keygen<P, true>,
    .sample_noise_encrypt = avx2::sample_noise_encrypt<P, true>,
    .decaps_hashes = avx2::decaps_hashes_x4<P>,
    .multiply_accumulate = avx2::multiply_accumulate<P::k>,
};

}  // namespace

// Built when the library loads, from the avx2 table (constant, so complete by then).
const Kernels kAvx512Kernels = [] {
  Kernels kernels = kAvx2Kernels;
  kernels.keccak_f1600_x4 = avx512::keccak_f1600_x4;
  kernels.mlkem512 = set_kernels<MlKem512>;
  kernels.mlkem768 = set_kernels<MlKem768>;
  kernels.mlkem1024 = set_kernels<MlKem1024>;
  return kernels;
}();

}  // namespace kyber_alg::mlkem

#endif  // KYBER_ALG_HAVE_X86_VECTOR
