// One round of Keccak-f[1600] on the 25 lanes held as named locals, and the
// whole permutation built from it, for the portable and the BMI build of the
// scalar permutation.
#pragma once

#include <cstdint>

#include "mlkem/keccak.hpp"
#include "mlkem/keccak_lanes.hpp"

namespace kyber_alg::mlkem::keccak_detail {

inline uint64_t rotl(uint64_t x, unsigned r) { return r == 0 ? x : (x << r) | (x >> (64 - r)); }

}  // namespace kyber_alg::mlkem::keccak_detail

// One round on named lanes a<x><y> (lane index x + 5y): theta, then rho and
// pi fused into B, then chi and iota. Written out so the 25 lanes stay in
// registers; the rotation offsets are the FIPS 202 rho table.
#define KECCAK_ROUND(RC)                                             \
  do {                                                               \
    const uint64_t c0 = a00 ^ a01 ^ a02 ^ a03 ^ a04;                 \
    const uint64_t c1 = a10 ^ a11 ^ a12 ^ a13 ^ a14;                 \
    const uint64_t c2 = a20 ^ a21 ^ a22 ^ a23 ^ a24;                 \
    const uint64_t c3 = a30 ^ a31 ^ a32 ^ a33 ^ a34;                 \
    const uint64_t c4 = a40 ^ a41 ^ a42 ^ a43 ^ a44;                 \
    const uint64_t d0 = c4 ^ keccak_detail::rotl(c1, 1);             \
    const uint64_t d1 = c0 ^ keccak_detail::rotl(c2, 1);             \
    const uint64_t d2 = c1 ^ keccak_detail::rotl(c3, 1);             \
    const uint64_t d3 = c2 ^ keccak_detail::rotl(c4, 1);             \
    const uint64_t d4 = c3 ^ keccak_detail::rotl(c0, 1);             \
    /* B[y][2x+3y] = keccak_detail::rotl(A[x][y] ^ D[x], r[x][y]) */ \
    const uint64_t b00 = keccak_detail::rotl(a00 ^ d0, 0);           \
    const uint64_t b13 = keccak_detail::rotl(a01 ^ d0, 36);          \
    const uint64_t b21 = keccak_detail::rotl(a02 ^ d0, 3);           \
    const uint64_t b34 = keccak_detail::rotl(a03 ^ d0, 41);          \
    const uint64_t b42 = keccak_detail::rotl(a04 ^ d0, 18);          \
    const uint64_t b02 = keccak_detail::rotl(a10 ^ d1, 1);           \
    const uint64_t b10 = keccak_detail::rotl(a11 ^ d1, 44);          \
    const uint64_t b23 = keccak_detail::rotl(a12 ^ d1, 10);          \
    const uint64_t b31 = keccak_detail::rotl(a13 ^ d1, 45);          \
    const uint64_t b44 = keccak_detail::rotl(a14 ^ d1, 2);           \
    const uint64_t b04 = keccak_detail::rotl(a20 ^ d2, 62);          \
    const uint64_t b12 = keccak_detail::rotl(a21 ^ d2, 6);           \
    const uint64_t b20 = keccak_detail::rotl(a22 ^ d2, 43);          \
    const uint64_t b33 = keccak_detail::rotl(a23 ^ d2, 15);          \
    const uint64_t b41 = keccak_detail::rotl(a24 ^ d2, 61);          \
    const uint64_t b01 = keccak_detail::rotl(a30 ^ d3, 28);          \
    const uint64_t b14 = keccak_detail::rotl(a31 ^ d3, 55);          \
    const uint64_t b22 = keccak_detail::rotl(a32 ^ d3, 25);          \
    const uint64_t b30 = keccak_detail::rotl(a33 ^ d3, 21);          \
    const uint64_t b43 = keccak_detail::rotl(a34 ^ d3, 56);          \
    const uint64_t b03 = keccak_detail::rotl(a40 ^ d4, 27);          \
    const uint64_t b11 = keccak_detail::rotl(a41 ^ d4, 20);          \
    const uint64_t b24 = keccak_detail::rotl(a42 ^ d4, 39);          \
    const uint64_t b32 = keccak_detail::rotl(a43 ^ d4, 8);           \
    const uint64_t b40 = keccak_detail::rotl(a44 ^ d4, 14);          \
    /* A[x][y] = B[x][y] ^ (~B[x+1][y] & B[x+2][y]) */               \
    a00 = b00 ^ (~b10 & b20) ^ (RC);                                 \
    a10 = b10 ^ (~b20 & b30);                                        \
    a20 = b20 ^ (~b30 & b40);                                        \
    a30 = b30 ^ (~b40 & b00);                                        \
    a40 = b40 ^ (~b00 & b10);                                        \
    a01 = b01 ^ (~b11 & b21);                                        \
    a11 = b11 ^ (~b21 & b31);                                        \
    a21 = b21 ^ (~b31 & b41);                                        \
    a31 = b31 ^ (~b41 & b01);                                        \
    a41 = b41 ^ (~b01 & b11);                                        \
    a02 = b02 ^ (~b12 & b22);                                        \
    a12 = b12 ^ (~b22 & b32);                                        \
    a22 = b22 ^ (~b32 & b42);                                        \
    a32 = b32 ^ (~b42 & b02);                                        \
    a42 = b42 ^ (~b02 & b12);                                        \
    a03 = b03 ^ (~b13 & b23);                                        \
    a13 = b13 ^ (~b23 & b33);                                        \
    a23 = b23 ^ (~b33 & b43);                                        \
    a33 = b33 ^ (~b43 & b03);                                        \
    a43 = b43 ^ (~b03 & b13);                                        \
    a04 = b04 ^ (~b14 & b24);                                        \
    a14 = b14 ^ (~b24 & b34);                                        \
    a24 = b24 ^ (~b34 & b44);                                        \
    a34 = b34 ^ (~b44 & b04);                                        \
    a44 = b44 ^ (~b04 & b14);                                        \
  } while (0)

// Loads the lanes of s, runs the 24 rounds, stores them back.
#define KECCAK_F1600_BODY(s)                         \
  KECCAK_LOAD_LANES(uint64_t, s)                     \
  for (int round = 0; round < 24; round += 2) {      \
    KECCAK_ROUND(keccak_round_constants[round]);     \
    KECCAK_ROUND(keccak_round_constants[round + 1]); \
  }                                                  \
  KECCAK_STORE_LANES(s)
