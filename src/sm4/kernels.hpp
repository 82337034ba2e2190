// SM4's code paths: one set of kernels per path, chosen at load.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/dispatch.hpp"
#include "sm4/ghash.hpp"
#include "sm4/sm4.hpp"

namespace kyber_alg::sm4 {

struct Kernels {
  void (*expand_key)(const uint8_t key[kKeySize], uint32_t rk[kRounds]);
  // Independent blocks: processed several at a time where the path can. ecb
  // and cbc_encrypt also work in place (in == out); cbc_decrypt needs
  // separate buffers (it reads each ciphertext block again after the rounds).
  void (*ecb)(const uint32_t rk[kRounds], const uint8_t* in, uint8_t* out, std::size_t blocks);
  // One block after another: each needs the previous ciphertext block.
  void (*cbc_encrypt)(const uint32_t rk[kRounds], uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out,
                      std::size_t blocks);
  // Parallel like ecb: every ciphertext block is known in advance.
  void (*cbc_decrypt)(const uint32_t rk[kRounds], uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out,
                      std::size_t blocks);
  // Counter mode with GCM's counter: out_i = in_i ^ E(counter), then the
  // last four bytes of counter are incremented as a big-endian number mod
  // 2^32. Whole blocks; in == out allowed. counter is left at the next value.
  void (*ctr32)(const uint32_t rk[kRounds], uint8_t counter[kBlockSize], const uint8_t* in, uint8_t* out,
                std::size_t blocks);
  // GHASH of whole blocks (ghash.hpp).
  void (*ghash)(const GhashKey& key, uint8_t y[16], const uint8_t* data, std::size_t blocks);
};

extern const Kernels kPortableKernels;
extern const Kernels* const kAvx2Kernels;  // null when the build has no x86 vector code
// null when the build has no aarch64 vector code:
extern const Kernels* const kNeonKernels;
extern const Kernels* const kPmullKernels;
extern const Kernels* const kSmceKernels;

// The path in use; tests and benchmarks may switch it.
Dispatch<Kernels>& kernels();

}  // namespace kyber_alg::sm4
