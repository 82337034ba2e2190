// Four Keccak-f[1600] sponges stepped together, for the four independent
// SHAKE calls of matrix and noise sampling on the vector paths. Only the
// shapes ML-KEM needs: one short absorb (less than a block), then whole
// blocks out. The permutation is the kernel table's keccak_f1600_x4, so this
// runs only where the table has one (the avx2 and avx512 paths).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::kyber {

class KeccakX4 {
 public:
  KeccakX4() = default;
  KeccakX4(const KeccakX4&) = delete;
  KeccakX4& operator=(const KeccakX4&) = delete;
  ~KeccakX4();

  // Absorbs in[l][0..len) into sponge l and pads with `domain`; len < rate.
  void absorb_once(const uint8_t* const in[4], std::size_t len, std::size_t rate, uint8_t domain);

  // Writes `blocks` * rate bytes of output of sponge l to out[l].
  void squeeze_blocks(uint8_t* const out[4], std::size_t blocks, std::size_t rate);

 private:
  alignas(32) uint64_t state_[25 * 4] = {};  // lane i of sponge l at [4 i + l]
  bool fresh_ = true;                        // the first block needs no permutation
};

// The four-way permutation on the interleaved states, one build per
// instruction set (keccak_x4_avx2.cpp, keccak_x4_avx512.cpp).
namespace avx2 {
void keccak_f1600_x4(uint64_t states[100]);
}
namespace avx512 {
void keccak_f1600_x4(uint64_t states[100]);
}

}  // namespace kyber_alg::kyber
