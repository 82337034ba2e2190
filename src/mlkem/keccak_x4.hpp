// Four Keccak-f[1600] sponges stepped together, for the four independent
// SHAKE calls of matrix and noise sampling on the vector paths. Only the
// shapes ML-KEM needs: one short absorb (less than a block), then whole
// blocks out. The permutation is the kernel table's keccak_f1600_x4
// (keccak_x4_avx2.hpp, keccak_x4_avx512.hpp), so this
// runs only where the table has one (the avx2 and avx512 paths).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::mlkem {

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

// Four independent sponges in one interleaved state, fed and read block by
// block by the caller: sponges of different rates, inputs and lengths that
// run side by side, one permutation for all four at each step (the hashes of
// a decapsulation). Bytes go in and out at the start of a lane's rate part.
class KeccakLanes {
 public:
  KeccakLanes() = default;
  KeccakLanes(const KeccakLanes&) = delete;
  KeccakLanes& operator=(const KeccakLanes&) = delete;
  ~KeccakLanes();

  // A fresh sponge in lane l.
  void clear(int l);
  // XORs in[0..len) into lane l from byte `offset` on.
  void xor_in(int l, std::size_t offset, const uint8_t* in, std::size_t len);
  // XORs block number `block` of the message in[0..len) into lane l, with
  // the padding (domain byte, final bit) if it is the last one; returns
  // whether it was.
  bool absorb_block(int l, const uint8_t* in, std::size_t len, std::size_t block, std::size_t rate,
                    uint8_t domain);
  void permute();
  void read(int l, uint8_t* out, std::size_t len) const;
  // A sponge that waits for its input between steps lives outside the lanes
  // (the permutation would change it): its 25 words in and out of lane l.
  void load(int l, const uint64_t state[25]);
  void store(int l, uint64_t state[25]) const;

 private:
  alignas(32) uint64_t state_[25 * 4] = {};
};

}  // namespace kyber_alg::mlkem
