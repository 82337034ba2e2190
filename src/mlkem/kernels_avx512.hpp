// The avx512 kernel table: the AVX2 kernels, with the four-way Keccak on
// AVX-512VL instructions (one-instruction rotations, ternary logic). That
// permutation costs less than the one-state permutation, so sampling also
// uses it for a batch of one polynomial. Only the permutations differ, so
// results are those of the avx2 path.
#pragma once

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include "kernels_avx2.hpp"

namespace kyber_alg::kyber {

inline constexpr Kernels avx512_kernels = [] {
  Kernels kernels = avx2_kernels;
  kernels.keccak_f1600_x4 = avx512::keccak_f1600_x4;
  kernels.mlkem512 = avx2::set_kernels<MlKem512, true>;
  kernels.mlkem768 = avx2::set_kernels<MlKem768, true>;
  kernels.mlkem1024 = avx2::set_kernels<MlKem1024, true>;
  return kernels;
}();

}  // namespace kyber_alg::kyber

#endif  // KYBER_ALG_HAVE_X86_VECTOR
