// Message expansion and compression of GB/T 32905-2016, section 5.3.
#include "sm3/compress.hpp"

#include <array>

namespace kyber_alg::sm3 {
namespace {

constexpr uint32_t rotl(uint32_t x, unsigned n) { return (x << (n & 31)) | (x >> ((32 - n) & 31)); }

uint32_t load_be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

// Permutations P0 (compression) and P1 (message expansion).
inline uint32_t p0(uint32_t x) { return x ^ rotl(x, 9) ^ rotl(x, 17); }
inline uint32_t p1(uint32_t x) { return x ^ rotl(x, 15) ^ rotl(x, 23); }

// Boolean functions FF_j and GG_j: XOR for rounds 0..15, majority / choice after.
inline uint32_t ff_low(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t ff_high(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (z & (x | y)); }
inline uint32_t gg_low(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t gg_high(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }

// T_j <<< (j mod 32), the per-round constant as the round uses it.
constexpr std::array<uint32_t, 64> kRotatedT = [] {
  std::array<uint32_t, 64> t{};
  for (unsigned j = 0; j < 64; ++j) t[j] = rotl(j < 16 ? 0x79cc4519u : 0x7a879d8au, j % 32);
  return t;
}();

// Message expansion: W[0..67] from the block; W'[j] = W[j] ^ W[j+4] is formed in the round.
inline void expand_message(uint32_t w[68], const uint8_t* block) {
  for (int j = 0; j < 16; ++j) w[j] = load_be32(block + 4 * j);
  for (int j = 16; j < 68; ++j)
    w[j] = p1(w[j - 16] ^ w[j - 9] ^ rotl(w[j - 3], 15)) ^ rotl(w[j - 13], 7) ^ w[j - 6];
}

struct Registers {
  uint32_t a, b, c, d, e, f, g, h;
};

// One round of CF. The register renaming (D = C, C = B <<< 9, ...) is done
// in place, so the loop body stays small enough to unroll fully.
template <bool kHigh>
inline void round(Registers& r, uint32_t w_j, uint32_t w_j4, uint32_t t_j) {
  const uint32_t a12 = rotl(r.a, 12);
  const uint32_t ss1 = rotl(a12 + r.e + t_j, 7);
  const uint32_t ss2 = ss1 ^ a12;
  const uint32_t ff = kHigh ? ff_high(r.a, r.b, r.c) : ff_low(r.a, r.b, r.c);
  const uint32_t gg = kHigh ? gg_high(r.e, r.f, r.g) : gg_low(r.e, r.f, r.g);
  const uint32_t tt1 = ff + r.d + ss2 + (w_j ^ w_j4);
  const uint32_t tt2 = gg + r.h + ss1 + w_j;
  r.d = r.c;
  r.c = rotl(r.b, 9);
  r.b = r.a;
  r.a = tt1;
  r.h = r.g;
  r.g = rotl(r.f, 19);
  r.f = r.e;
  r.e = p0(tt2);
}

inline void compress(uint32_t v[8], const uint8_t* block) {
  uint32_t w[68];
  expand_message(w, block);
  Registers r{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
#pragma GCC unroll 16
  for (int j = 0; j < 16; ++j) round<false>(r, w[j], w[j + 4], kRotatedT[j]);
#pragma GCC unroll 48
  for (int j = 16; j < 64; ++j) round<true>(r, w[j], w[j + 4], kRotatedT[j]);
  v[0] ^= r.a, v[1] ^= r.b, v[2] ^= r.c, v[3] ^= r.d;
  v[4] ^= r.e, v[5] ^= r.f, v[6] ^= r.g, v[7] ^= r.h;
}

}  // namespace

void compress_blocks(uint32_t v[8], const uint8_t* data, std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) compress(v, data + 64 * i);
}

}  // namespace kyber_alg::sm3
