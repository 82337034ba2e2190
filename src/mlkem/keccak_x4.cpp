#include "mlkem/keccak_x4.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "mlkem/kernels.hpp"

namespace kyber_alg::mlkem {

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

KeccakLanes::~KeccakLanes() { ct::wipe(state_, sizeof state_); }

void KeccakLanes::clear(int l) {
  for (int i = 0; i < 25; ++i) state_[4 * i + l] = 0;
}

void KeccakLanes::xor_in(int l, std::size_t offset, const uint8_t* in, std::size_t len) {
  std::size_t i = 0;
  if (offset % 8 == 0) {  // whole words while they last (x86: lanes are little-endian)
    for (; i + 8 <= len; i += 8) {
      uint64_t word;
      std::memcpy(&word, in + i, 8);
      state_[4 * ((offset + i) / 8) + l] ^= word;
    }
  }
  for (; i < len; ++i) {
    const std::size_t at = offset + i;
    state_[4 * (at / 8) + l] ^= static_cast<uint64_t>(in[i]) << (8 * (at % 8));
  }
}

bool KeccakLanes::absorb_block(int l, const uint8_t* in, std::size_t len, std::size_t block, std::size_t rate,
                               uint8_t domain) {
  const std::size_t start = block * rate;
  if (len - start >= rate) {  // a whole block of the message
    xor_in(l, 0, in + start, rate);
    return false;
  }
  const std::size_t tail = len - start;
  xor_in(l, 0, in + start, tail);
  const uint8_t pad_end = 0x80;
  xor_in(l, tail, &domain, 1);
  xor_in(l, rate - 1, &pad_end, 1);
  return true;
}

void KeccakLanes::permute() { kernels->keccak_f1600_x4(state_); }

void KeccakLanes::read(int l, uint8_t* out, std::size_t len) const {
  std::size_t i = 0;
  for (; i + 8 <= len; i += 8)
    std::memcpy(out + i, &state_[4 * (i / 8) + l], 8);  // x86: lanes are little-endian
  for (; i < len; ++i) out[i] = static_cast<uint8_t>(state_[4 * (i / 8) + l] >> (8 * (i % 8)));
}

void KeccakLanes::load(int l, const uint64_t state[25]) {
  for (int i = 0; i < 25; ++i) state_[4 * i + l] = state[i];
}

void KeccakLanes::store(int l, uint64_t state[25]) const {
  for (int i = 0; i < 25; ++i) state[i] = state_[4 * i + l];
}

}  // namespace kyber_alg::mlkem
