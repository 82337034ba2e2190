// The ML-KEM functions that have vector versions, gathered in one table of
// function pointers per code path. Callers go through `kernels`, which holds
// the best path this CPU runs (tests may switch it); every path gives
// bit-for-bit the same results.
#pragma once

#include <cstdint>

#include "common/cpu.hpp"
#include "common/dispatch.hpp"
#include "params.hpp"

namespace kyber_alg::kyber {

struct Kernels {
  // Keccak-f[1600] on one state.
  void (*keccak_f1600)(uint64_t state[25]);
  // Keccak-f[1600] on four interleaved states (lane i of state l at [4 i + l]);
  // null on the portable path, which never steps four sponges together.
  void (*keccak_f1600_x4)(uint64_t states[100]);

  void (*ntt)(Poly& f);
  void (*ntt_inverse)(Poly& f);
  void (*multiply_ntts)(Poly& h, const Poly& f, const Poly& g);
  void (*multiply_ntts_add)(Poly& h, const Poly& f, const Poly& g);
  void (*to_montgomery)(Poly& f);
  void (*poly_reduce)(Poly& f);
  void (*poly_canonical)(Poly& f);

  void (*byte_encode_12)(uint8_t out[poly_bytes], const Poly& f);
  void (*byte_decode_12_raw)(Poly& f, const uint8_t in[poly_bytes]);

  void (*sample_matrix)(PolyMat& a, const uint8_t rho[32], bool transpose);
  // sample_noise_x4 for (eta1, eta1), key generation, and (eta1, eta2), encryption.
  void (*sample_noise_x4_eta1_eta1)(Poly& p0, Poly& p1, Poly& p2, Poly& p3, const uint8_t seed[32],
                                    uint8_t nonce);
  void (*sample_noise_x4_eta1_eta2)(Poly& p0, Poly& p1, Poly& p2, Poly& p3, const uint8_t seed[32],
                                    uint8_t nonce);
};

// One constant table per code path: portable_kernels (kernels.cpp),
// avx2_kernels (kernels_avx2.hpp) and avx512_kernels (kernels_avx512.hpp).
extern const Kernels portable_kernels;

extern Dispatch<Kernels> kernels;

}  // namespace kyber_alg::kyber
