#include "keccak_x4.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "kernels.hpp"

namespace kyber_alg::kyber {

KeccakX4::~KeccakX4() { ct::wipe(state_, sizeof state_); }

// Lanes are copied with memcpy in the machine's byte order, which is the
// little-endian lane order of Keccak on the x86 paths that use this class.
void KeccakX4::absorb_once(const uint8_t* const in[4], std::size_t len, std::size_t rate, uint8_t domain) {
  // Pad each input to one block (at most 168 bytes), then XOR the lanes in.
  alignas(32) uint8_t block[4][168];
  for (int l = 0; l < 4; ++l) {
    std::memset(block[l], 0, rate);
    std::memcpy(block[l], in[l], len);
    block[l][len] ^= domain;
    block[l][rate - 1] ^= 0x80;
  }
  std::memset(state_, 0, sizeof state_);
  for (std::size_t i = 0; i < rate / 8; ++i)
    for (int l = 0; l < 4; ++l) std::memcpy(&state_[4 * i + l], block[l] + 8 * i, 8);
  ct::wipe(block, sizeof block);
  kernels->keccak_f1600_x4(state_);
  fresh_ = true;
}

void KeccakX4::squeeze_blocks(uint8_t* const out[4], std::size_t blocks, std::size_t rate) {
  for (std::size_t b = 0; b < blocks; ++b) {
    if (!fresh_) kernels->keccak_f1600_x4(state_);
    fresh_ = false;
    for (std::size_t i = 0; i < rate / 8; ++i)
      for (int l = 0; l < 4; ++l) std::memcpy(out[l] + b * rate + 8 * i, &state_[4 * i + l], 8);
  }
}

}  // namespace kyber_alg::kyber
