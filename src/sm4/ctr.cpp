#include "sm4/ctr.hpp"

#include <algorithm>
#include <cstring>

#include "common/bytes.hpp"
#include "common/ct.hpp"
#include "sm4/kernels.hpp"

namespace kyber_alg::sm4 {
namespace {

// Adds the carry out of the last four bytes to the first twelve (a 96-bit
// big-endian number) once those four have wrapped to zero.
void carry_into_high_bytes(uint8_t counter[kBlockSize]) {
  if (load_be32(counter + 12) != 0) return;
  for (int i = 11; i >= 0; --i)
    if (++counter[i] != 0) break;
}

// Whole blocks, never past a wrap of the low word when counting 128 bits.
void ctr_blocks(const RoundKeys& keys, CounterWidth width, uint8_t counter[kBlockSize], const uint8_t* in,
                uint8_t* out, std::size_t blocks) {
  while (blocks > 0) {
    std::size_t run = blocks;
    if (width == CounterWidth::full128) {
      const uint64_t to_wrap = (uint64_t{1} << 32) - load_be32(counter + 12);
      run = static_cast<std::size_t>(std::min<uint64_t>(blocks, to_wrap));
    }
    kernels()->ctr32(keys.rk, counter, in, out, run);
    if (width == CounterWidth::full128) carry_into_high_bytes(counter);
    in += kBlockSize * run;
    out += kBlockSize * run;
    blocks -= run;
  }
}

}  // namespace

void ctr_xor(const RoundKeys& keys, CounterWidth width, uint8_t counter[kBlockSize], const uint8_t* in,
             uint8_t* out, std::size_t len) {
  const std::size_t whole = len / kBlockSize;
  ctr_blocks(keys, width, counter, in, out, whole);
  if (const std::size_t tail = len % kBlockSize; tail > 0) {
    uint8_t block[kBlockSize] = {};
    std::memcpy(block, in + kBlockSize * whole, tail);
    ctr_blocks(keys, width, counter, block, block, 1);
    std::memcpy(out + kBlockSize * whole, block, tail);
    ct::wipe(block, sizeof block);
  }
}

void ctr_xor_after_mask(const RoundKeys& keys, CounterWidth width, uint8_t counter[kBlockSize],
                        const uint8_t* in, uint8_t* out, std::size_t len, uint8_t mask[kBlockSize]) {
  // The mask block and up to seven message blocks fill one group of eight.
  constexpr std::size_t kFirst = 7 * kBlockSize;
  uint8_t first[kBlockSize + kFirst] = {};
  const std::size_t head = std::min(len, kFirst);
  std::memcpy(first + kBlockSize, in, head);
  ctr_xor(keys, width, counter, first, first, kBlockSize + head);
  std::memcpy(mask, first, kBlockSize);
  std::memcpy(out, first + kBlockSize, head);
  ct::wipe(first, sizeof first);
  // head is whole blocks whenever more follows, so the counter is in step.
  if (len > head) ctr_xor(keys, width, counter, in + head, out + head, len - head);
}

void ctr_stream_init(CtrStream& stream, const uint8_t key[kKeySize], const uint8_t iv[kBlockSize]) {
  expand_key(key, stream.keys);
  std::memcpy(stream.counter, iv, kBlockSize);
  std::memset(stream.keystream, 0, kBlockSize);
  stream.used = kBlockSize;
}

void ctr_stream_xor(CtrStream& stream, const uint8_t* in, uint8_t* out, std::size_t len) {
  // The rest of a block begun by the previous call.
  const std::size_t left = std::min(len, kBlockSize - stream.used);
  for (std::size_t i = 0; i < left; ++i) out[i] = in[i] ^ stream.keystream[stream.used + i];
  stream.used += left;
  in += left, out += left, len -= left;
  const std::size_t whole = len / kBlockSize;
  ctr_blocks(stream.keys, CounterWidth::full128, stream.counter, in, out, whole);
  in += kBlockSize * whole, out += kBlockSize * whole, len -= kBlockSize * whole;
  if (len > 0) {
    std::memset(stream.keystream, 0, kBlockSize);
    ctr_blocks(stream.keys, CounterWidth::full128, stream.counter, stream.keystream, stream.keystream, 1);
    for (std::size_t i = 0; i < len; ++i) out[i] = in[i] ^ stream.keystream[i];
    stream.used = len;
  }
}

}  // namespace kyber_alg::sm4
