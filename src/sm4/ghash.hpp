// GHASH, GCM's universal hash over GF(2^128) (NIST SP 800-38D, 6.4).
//
// A block is read as the 128-bit big-endian integer of its bytes; the
// coefficient of x^i is then integer bit 127 - i (GCM's bit order). A field
// element is kept as two 64-bit words, w[1] the high and w[0] the low half,
// which is also how a vector register loaded from a byte-swapped block holds it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::sm4 {

inline constexpr std::size_t kGhashPowers = 8;

// The hash key H and its powers H^1..H^8 (power[k - 1] = H^k), the same for
// every code path: the vector path hashes eight blocks per reduction.
struct GhashKey {
  alignas(16) uint64_t power[kGhashPowers][2];
};

// H = the 16-byte block E_K(0^128).
void ghash_key_init(const uint8_t h[16], GhashKey& key);

// y = (y ^ X_i) * H for each 16-byte block X_i of data, with the portable
// constant-time multiply (integer multiplies on bits spaced apart; no table).
void ghash_blocks_portable(const GhashKey& key, uint8_t y[16], const uint8_t* data, std::size_t blocks);

// Through the active code path: whole blocks, then a last partial block
// padded with zeros.
void ghash_update(const GhashKey& key, uint8_t y[16], const uint8_t* data, std::size_t len);

}  // namespace kyber_alg::sm4
