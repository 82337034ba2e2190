// Byte order and rotations shared by the algorithms (all big-endian on the wire).
#pragma once

#include <bit>
#include <cstdint>

namespace kyber_alg {

inline uint32_t load_be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

inline void store_be32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

inline uint64_t load_be64(const uint8_t* p) { return (uint64_t{load_be32(p)} << 32) | load_be32(p + 4); }

inline void store_be64(uint8_t* p, uint64_t v) {
  store_be32(p, static_cast<uint32_t>(v >> 32));
  store_be32(p + 4, static_cast<uint32_t>(v));
}

constexpr uint32_t rotl32(uint32_t x, int r) { return std::rotl(x, r); }

}  // namespace kyber_alg
