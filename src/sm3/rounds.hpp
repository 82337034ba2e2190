// Building blocks of the SM3 compression function CF (GB/T 32905-2016, 5.3),
// shared by every code path.
#pragma once

#include <array>
#include <cstdint>

#include "common/bytes.hpp"

namespace kyber_alg::sm3 {

// Permutations P0 (compression) and P1 (message expansion).
inline uint32_t p0(uint32_t x) { return x ^ rotl32(x, 9) ^ rotl32(x, 17); }
inline uint32_t p1(uint32_t x) { return x ^ rotl32(x, 15) ^ rotl32(x, 23); }

// Boolean functions FF_j and GG_j: XOR for rounds 0..15, majority and choice after.
inline uint32_t ff_high(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (z & (x | y)); }
inline uint32_t gg_high(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }

// T_j <<< (j mod 32), the round constant as the round uses it.
inline constexpr std::array<uint32_t, 64> kRotatedT = [] {
  std::array<uint32_t, 64> t{};
  for (unsigned j = 0; j < 64; ++j)
    t[j] = rotl32(j < 16 ? 0x79cc4519u : 0x7a879d8au, static_cast<int>(j % 32));
  return t;
}();

inline constexpr uint32_t kInitialValue[8] = {0x7380166f, 0x4914b2b9, 0x172442d7, 0xda8a0600,
                                              0xa96f30bc, 0x163138aa, 0xe38dee4d, 0xb0fb0e4e};

// Message expansion: word j (16 <= j < 68) of W from the words before it.
inline uint32_t expand_word(const uint32_t w[], int j) {
  return p1(w[j - 16] ^ w[j - 9] ^ rotl32(w[j - 3], 15)) ^ rotl32(w[j - 13], 7) ^ w[j - 6];
}

// E is the last register of a round to be ready and the next round starts
// from it, so with kAddELast, E + (A <<< 12 + T_j) is added last, on its own.
// Left free, the compiler fuses the three terms into one lea with a
// displacement, which takes two cycles instead of one on current x86 cores: a
// cycle more on the serial chain of every round. (It pays on the avx2 path,
// about 7% there; the portable path's schedule came out slightly slower.)
template <bool kAddELast>
inline uint32_t add_e(uint32_t a12_plus_t, uint32_t e) {
#if defined(__GNUC__)
  if constexpr (kAddELast) __asm__("" : "+r"(a12_plus_t));
#endif
  return a12_plus_t + e;
}

struct Registers {
  uint32_t a, b, c, d, e, f, g, h;
};

// One round of CF with message words W_j and W'_j = W_j ^ W_(j+4). The
// register renaming (D = C, C = B <<< 9, ...) is done in place, so a fully
// unrolled loop of rounds compiles to renamed registers, not moves.
template <bool kHigh, bool kAddELast = false>
inline void round(Registers& r, uint32_t w_j, uint32_t w_prime_j, uint32_t t_j) {
  const uint32_t a12 = rotl32(r.a, 12);
  const uint32_t ss1 = rotl32(add_e<kAddELast>(a12 + t_j, r.e), 7);
  const uint32_t ss2 = ss1 ^ a12;
  const uint32_t ff = kHigh ? ff_high(r.a, r.b, r.c) : r.a ^ r.b ^ r.c;
  const uint32_t gg = kHigh ? gg_high(r.e, r.f, r.g) : r.e ^ r.f ^ r.g;
  const uint32_t tt1 = ff + r.d + ss2 + w_prime_j;
  const uint32_t tt2 = gg + r.h + ss1 + w_j;
  r.d = r.c;
  r.c = rotl32(r.b, 9);
  r.b = r.a;
  r.a = tt1;
  r.h = r.g;
  r.g = rotl32(r.f, 19);
  r.f = r.e;
  r.e = p0(tt2);
}

inline Registers load_registers(const uint32_t v[8]) {
  return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
}

// V(i+1) = ABCDEFGH ^ V(i).
inline void fold_registers(uint32_t v[8], const Registers& r) {
  v[0] ^= r.a, v[1] ^= r.b, v[2] ^= r.c, v[3] ^= r.d;
  v[4] ^= r.e, v[5] ^= r.f, v[6] ^= r.g, v[7] ^= r.h;
}

// CF with the message expansion interleaved: word j + 16 is formed right
// after round j, twelve rounds before it is first needed, so it overlaps the
// rounds in between. (A separate expansion pass gets vectorised into stores
// that the following loads straddle, which is slower.)
// Always inlined, so that each code path compiles it for its own instruction set.
[[gnu::always_inline]] inline void compress_interleaved(uint32_t v[8], const uint8_t* block) {
  uint32_t w[68];
  for (int j = 0; j < 16; ++j) w[j] = load_be32(block + 4 * j);
  Registers r = load_registers(v);
#pragma GCC unroll 16
  for (int j = 0; j < 16; ++j) {
    round<false>(r, w[j], w[j] ^ w[j + 4], kRotatedT[j]);
    w[j + 16] = expand_word(w, j + 16);
  }
#pragma GCC unroll 48
  for (int j = 16; j < 64; ++j) {
    round<true>(r, w[j], w[j] ^ w[j + 4], kRotatedT[j]);
    if (j + 16 < 68) w[j + 16] = expand_word(w, j + 16);
  }
  fold_registers(v, r);
}

}  // namespace kyber_alg::sm3
