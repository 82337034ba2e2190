// The four-way Keccak-f[1600] permutation body shared by the AVX2 and the
// AVX-512VL build (keccak_x4_avx2.cpp, keccak_x4_avx512.cpp); included only there.
#pragma once

#include <immintrin.h>

#include "mlkem/keccak.hpp"
#include "mlkem/keccak_lanes.hpp"

// The Keccak-f[1600] rounds on four states at once, one 256-bit vector per
// lane index x + 5y, written once for both instruction sets: ROTL, XOR5 and
// CHI are the set's rotation, five-way XOR and chi step; s is the Vec array.
#define KECCAK_X4_PERMUTE(ROTL, XOR5, CHI)                                                             \
  KECCAK_LOAD_LANES(Vec, s)                                                                            \
  for (int round = 0; round < 24; ++round) {                                                           \
    const Vec c0 = XOR5(a00, a01, a02, a03, a04);                                                      \
    const Vec c1 = XOR5(a10, a11, a12, a13, a14);                                                      \
    const Vec c2 = XOR5(a20, a21, a22, a23, a24);                                                      \
    const Vec c3 = XOR5(a30, a31, a32, a33, a34);                                                      \
    const Vec c4 = XOR5(a40, a41, a42, a43, a44);                                                      \
    const Vec d0 = _mm256_xor_si256(c4, ROTL<1>(c1));                                                  \
    const Vec d1 = _mm256_xor_si256(c0, ROTL<1>(c2));                                                  \
    const Vec d2 = _mm256_xor_si256(c1, ROTL<1>(c3));                                                  \
    const Vec d3 = _mm256_xor_si256(c2, ROTL<1>(c4));                                                  \
    const Vec d4 = _mm256_xor_si256(c3, ROTL<1>(c0));                                                  \
    /* B[y][2x+3y] = rotl(A[x][y] ^ D[x], r[x][y]) */                                                  \
    const Vec b00 = ROTL<0>(_mm256_xor_si256(a00, d0));                                                \
    const Vec b13 = ROTL<36>(_mm256_xor_si256(a01, d0));                                               \
    const Vec b21 = ROTL<3>(_mm256_xor_si256(a02, d0));                                                \
    const Vec b34 = ROTL<41>(_mm256_xor_si256(a03, d0));                                               \
    const Vec b42 = ROTL<18>(_mm256_xor_si256(a04, d0));                                               \
    const Vec b02 = ROTL<1>(_mm256_xor_si256(a10, d1));                                                \
    const Vec b10 = ROTL<44>(_mm256_xor_si256(a11, d1));                                               \
    const Vec b23 = ROTL<10>(_mm256_xor_si256(a12, d1));                                               \
    const Vec b31 = ROTL<45>(_mm256_xor_si256(a13, d1));                                               \
    const Vec b44 = ROTL<2>(_mm256_xor_si256(a14, d1));                                                \
    const Vec b04 = ROTL<62>(_mm256_xor_si256(a20, d2));                                               \
    const Vec b12 = ROTL<6>(_mm256_xor_si256(a21, d2));                                                \
    const Vec b20 = ROTL<43>(_mm256_xor_si256(a22, d2));                                               \
    const Vec b33 = ROTL<15>(_mm256_xor_si256(a23, d2));                                               \
    const Vec b41 = ROTL<61>(_mm256_xor_si256(a24, d2));                                               \
    const Vec b01 = ROTL<28>(_mm256_xor_si256(a30, d3));                                               \
    const Vec b14 = ROTL<55>(_mm256_xor_si256(a31, d3));                                               \
    const Vec b22 = ROTL<25>(_mm256_xor_si256(a32, d3));                                               \
    const Vec b30 = ROTL<21>(_mm256_xor_si256(a33, d3));                                               \
    const Vec b43 = ROTL<56>(_mm256_xor_si256(a34, d3));                                               \
    const Vec b03 = ROTL<27>(_mm256_xor_si256(a40, d4));                                               \
    const Vec b11 = ROTL<20>(_mm256_xor_si256(a41, d4));                                               \
    const Vec b24 = ROTL<39>(_mm256_xor_si256(a42, d4));                                               \
    const Vec b32 = ROTL<8>(_mm256_xor_si256(a43, d4));                                                \
    const Vec b40 = ROTL<14>(_mm256_xor_si256(a44, d4));                                               \
    /* A[x][y] = B[x][y] ^ (~B[x+1][y] & B[x+2][y]), iota on A[0][0] */                                \
    a00 = _mm256_xor_si256(CHI(b00, b10, b20),                                                         \
                           _mm256_set1_epi64x(static_cast<long long>(keccak_round_constants[round]))); \
    a10 = CHI(b10, b20, b30);                                                                          \
    a20 = CHI(b20, b30, b40);                                                                          \
    a30 = CHI(b30, b40, b00);                                                                          \
    a40 = CHI(b40, b00, b10);                                                                          \
    a01 = CHI(b01, b11, b21);                                                                          \
    a11 = CHI(b11, b21, b31);                                                                          \
    a21 = CHI(b21, b31, b41);                                                                          \
    a31 = CHI(b31, b41, b01);                                                                          \
    a41 = CHI(b41, b01, b11);                                                                          \
    a02 = CHI(b02, b12, b22);                                                                          \
    a12 = CHI(b12, b22, b32);                                                                          \
    a22 = CHI(b22, b32, b42);                                                                          \
    a32 = CHI(b32, b42, b02);                                                                          \
    a42 = CHI(b42, b02, b12);                                                                          \
    a03 = CHI(b03, b13, b23);                                                                          \
    a13 = CHI(b13, b23, b33);                                                                          \
    a23 = CHI(b23, b33, b43);                                                                          \
    a33 = CHI(b33, b43, b03);                                                                          \
    a43 = CHI(b43, b03, b13);                                                                          \
    a04 = CHI(b04, b14, b24);                                                                          \
    a14 = CHI(b14, b24, b34);                                                                          \
    a24 = CHI(b24, b34, b44);                                                                          \
    a34 = CHI(b34, b44, b04);                                                                          \
    a44 = CHI(b44, b04, b14);                                                                          \
  }                                                                                                    \
  KECCAK_STORE_LANES(s)
