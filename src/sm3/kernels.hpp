// SM3's code paths: the compression function for each, chosen at load.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/dispatch.hpp"

namespace kyber_alg::sm3 {

struct Kernels {
  // V(i+1) = CF(V(i), B(i)) for each of the `blocks` 64-byte blocks at data.
  void (*compress_blocks)(uint32_t v[8], const uint8_t* data, std::size_t blocks);
};

extern const Kernels kPortableKernels;
extern const Kernels* const kAvx2Kernels;  // null when the build has no x86 vector code
extern const Kernels* const kSmceKernels;  // null when the build has no aarch64 vector code

// The path in use; tests and benchmarks may switch it.
Dispatch<Kernels>& kernels();

}  // namespace kyber_alg::sm3
