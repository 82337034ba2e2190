// SM3 cryptographic hash (GB/T 32905-2016): 256-bit digest of a byte string.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::sm3 {

inline constexpr std::size_t kDigestSize = 32, kBlockSize = 64;

// Running hash. Copyable by value: a copy continues independently.
struct State {
  uint32_t v[8];              // chaining value V(i)
  uint64_t length;            // bytes absorbed so far
  uint8_t block[kBlockSize];  // bytes of the block not yet compressed
  std::size_t block_fill;     // how many bytes of block are in use
};

void init(State& state);
void update(State& state, const uint8_t* data, std::size_t len);
// The digest of the message absorbed so far; state is left as it was.
void digest(const State& state, uint8_t out[kDigestSize]);
// Writes the digest and leaves state re-initialised (ready for a new message).
void finish(State& state, uint8_t out[kDigestSize]);
// One-shot: init, update, finish.
void hash(const uint8_t* data, std::size_t len, uint8_t out[kDigestSize]);

}  // namespace kyber_alg::sm3
