// Portable compression function.
#include "sm3/kernels.hpp"
#include "sm3/rounds.hpp"

namespace kyber_alg::sm3 {
namespace {

void compress_blocks_portable(uint32_t v[8], const uint8_t* data, std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) compress_interleaved(v, data + 64 * i);
}

}  // namespace

const Kernels kPortableKernels = {compress_blocks_portable};

Dispatch<Kernels>& kernels() {
  static Dispatch<Kernels> dispatch(KernelSet<Kernels>{
      .portable = &kPortableKernels, .avx2 = kAvx2Kernels, .avx512 = nullptr, .smce = kSmceKernels});
  return dispatch;
}

}  // namespace kyber_alg::sm3
