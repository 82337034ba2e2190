// Padding and block buffering around the compression function.
#include "sm3/sm3.hpp"

#include <algorithm>
#include <cstring>

#include "common/bytes.hpp"
#include "common/ct.hpp"
#include "sm3/kernels.hpp"
#include "sm3/rounds.hpp"

namespace kyber_alg::sm3 {

namespace {

void compress_blocks(uint32_t v[8], const uint8_t* data, std::size_t blocks) {
  if (blocks > 0) kernels()->compress_blocks(v, data, blocks);
}
}  // namespace

void init(State& state) {
  std::memcpy(state.v, kInitialValue, sizeof state.v);
  state.length = 0;
  std::memset(state.block, 0, sizeof state.block);
  state.block_fill = 0;
}

void update(State& state, const uint8_t* data, std::size_t len) {
  if (len == 0) return;
  state.length += len;
  if (state.block_fill > 0) {
    const std::size_t take = std::min(len, kBlockSize - state.block_fill);
    std::memcpy(state.block + state.block_fill, data, take);
    state.block_fill += take;
    data += take;
    len -= take;
    if (state.block_fill < kBlockSize) return;
    compress_blocks(state.v, state.block, 1);
    state.block_fill = 0;
  }
  const std::size_t whole = len / kBlockSize;
  compress_blocks(state.v, data, whole);
  data += whole * kBlockSize;
  len -= whole * kBlockSize;
  std::memcpy(state.block, data, len);
  state.block_fill = len;
}

void digest(const State& state, uint8_t out[kDigestSize]) {
  // Padding: one 1 bit, zeros up to 56 mod 64 bytes, the bit length as 64-bit
  // big-endian: one block after the buffered tail, or two if the tail leaves
  // fewer than 9 bytes free. Both go to the compression function in one call.
  uint8_t tail[2 * kBlockSize];
  const std::size_t fill = state.block_fill;
  const std::size_t blocks = fill > kBlockSize - 9 ? 2 : 1;
  const std::size_t end = blocks * kBlockSize;
  std::memcpy(tail, state.block, fill);
  tail[fill] = 0x80;
  std::memset(tail + fill + 1, 0, end - 8 - (fill + 1));
  store_be64(tail + end - 8, state.length * 8);
  uint32_t v[8];
  std::memcpy(v, state.v, sizeof v);
  compress_blocks(v, tail, blocks);
  for (int i = 0; i < 8; ++i) store_be32(out + 4 * i, v[i]);
  // The tail may be a caller's secret (SM2's x2 || M || y2), and v follows from it.
  ct::wipe(tail, sizeof tail);
  ct::wipe(v, sizeof v);
}

void finish(State& state, uint8_t out[kDigestSize]) {
  digest(state, out);
  ct::wipe_object(state);
  init(state);
}

void hash(const uint8_t* data, std::size_t len, uint8_t out[kDigestSize]) {
  State state;
  init(state);
  update(state, data, len);
  digest(state, out);
  ct::wipe_object(state);
}

}  // namespace kyber_alg::sm3
