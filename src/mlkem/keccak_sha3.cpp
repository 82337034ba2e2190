// Keccak-f[1600] with the Armv8.2 SHA3 instructions: EOR3 for the column
// parities, RAX1 for theta's D, XAR for theta's XOR fused with rho's rotation,
// BCAX for chi. A lane of the state sits in lane 0 of a 128-bit register.
#include "mlkem/keccak_sha3.hpp"

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_ARM_VECTOR
#include <arm_neon.h>

#include "mlkem/keccak.hpp"
#include "mlkem/keccak_lanes.hpp"

namespace kyber_alg::mlkem::sha3 {

// One round on the named lanes a<x><y> (keccak_lanes.hpp); the rotation
// offsets are those of the portable round (keccak_round.hpp).
#define KECCAK_SHA3_ROUND(RC)                                                       \
  do {                                                                              \
    const uint64x2_t c0 = veor3q_u64(veor3q_u64(a00, a01, a02), a03, a04);          \
    const uint64x2_t c1 = veor3q_u64(veor3q_u64(a10, a11, a12), a13, a14);          \
    const uint64x2_t c2 = veor3q_u64(veor3q_u64(a20, a21, a22), a23, a24);          \
    const uint64x2_t c3 = veor3q_u64(veor3q_u64(a30, a31, a32), a33, a34);          \
    const uint64x2_t c4 = veor3q_u64(veor3q_u64(a40, a41, a42), a43, a44);          \
    const uint64x2_t d0 = vrax1q_u64(c4, c1);                                       \
    const uint64x2_t d1 = vrax1q_u64(c0, c2);                                       \
    const uint64x2_t d2 = vrax1q_u64(c1, c3);                                       \
    const uint64x2_t d3 = vrax1q_u64(c2, c4);                                       \
    const uint64x2_t d4 = vrax1q_u64(c3, c0);                                       \
    /* B[y][2x+3y] = (A[x][y] ^ D[x]) <<< r[x][y], as a rotation right by 64 - r */ \
    const uint64x2_t b00 = veorq_u64(a00, d0);                                      \
    const uint64x2_t b13 = vxarq_u64(a01, d0, 28);                                  \
    const uint64x2_t b21 = vxarq_u64(a02, d0, 61);                                  \
    const uint64x2_t b34 = vxarq_u64(a03, d0, 23);                                  \
    const uint64x2_t b42 = vxarq_u64(a04, d0, 46);                                  \
    const uint64x2_t b02 = vxarq_u64(a10, d1, 63);                                  \
    const uint64x2_t b10 = vxarq_u64(a11, d1, 20);                                  \
    const uint64x2_t b23 = vxarq_u64(a12, d1, 54);                                  \
    const uint64x2_t b31 = vxarq_u64(a13, d1, 19);                                  \
    const uint64x2_t b44 = vxarq_u64(a14, d1, 62);                                  \
    const uint64x2_t b04 = vxarq_u64(a20, d2, 2);                                   \
    const uint64x2_t b12 = vxarq_u64(a21, d2, 58);                                  \
    const uint64x2_t b20 = vxarq_u64(a22, d2, 21);                                  \
    const uint64x2_t b33 = vxarq_u64(a23, d2, 49);                                  \
    const uint64x2_t b41 = vxarq_u64(a24, d2, 3);                                   \
    const uint64x2_t b01 = vxarq_u64(a30, d3, 36);                                  \
    const uint64x2_t b14 = vxarq_u64(a31, d3, 9);                                   \
    const uint64x2_t b22 = vxarq_u64(a32, d3, 39);                                  \
    const uint64x2_t b30 = vxarq_u64(a33, d3, 43);                                  \
    const uint64x2_t b43 = vxarq_u64(a34, d3, 8);                                   \
    const uint64x2_t b03 = vxarq_u64(a40, d4, 37);                                  \
    const uint64x2_t b11 = vxarq_u64(a41, d4, 44);                                  \
    const uint64x2_t b24 = vxarq_u64(a42, d4, 25);                                  \
    const uint64x2_t b32 = vxarq_u64(a43, d4, 56);                                  \
    const uint64x2_t b40 = vxarq_u64(a44, d4, 50);                                  \
    /* A[x][y] = B[x][y] ^ (B[x+2][y] & ~B[x+1][y]) */                              \
    a00 = veorq_u64(vbcaxq_u64(b00, b20, b10), (RC));                               \
    a10 = vbcaxq_u64(b10, b30, b20);                                                \
    a20 = vbcaxq_u64(b20, b40, b30);                                                \
    a30 = vbcaxq_u64(b30, b00, b40);                                                \
    a40 = vbcaxq_u64(b40, b10, b00);                                                \
    a01 = vbcaxq_u64(b01, b21, b11);                                                \
    a11 = vbcaxq_u64(b11, b31, b21);                                                \
    a21 = vbcaxq_u64(b21, b41, b31);                                                \
    a31 = vbcaxq_u64(b31, b01, b41);                                                \
    a41 = vbcaxq_u64(b41, b11, b01);                                                \
    a02 = vbcaxq_u64(b02, b22, b12);                                                \
    a12 = vbcaxq_u64(b12, b32, b22);                                                \
    a22 = vbcaxq_u64(b22, b42, b32);                                                \
    a32 = vbcaxq_u64(b32, b02, b42);                                                \
    a42 = vbcaxq_u64(b42, b12, b02);                                                \
    a03 = vbcaxq_u64(b03, b23, b13);                                                \
    a13 = vbcaxq_u64(b13, b33, b23);                                                \
    a23 = vbcaxq_u64(b23, b43, b33);                                                \
    a33 = vbcaxq_u64(b33, b03, b43);                                                \
    a43 = vbcaxq_u64(b43, b13, b03);                                                \
    a04 = vbcaxq_u64(b04, b24, b14);                                                \
    a14 = vbcaxq_u64(b14, b34, b24);                                                \
    a24 = vbcaxq_u64(b24, b44, b34);                                                \
    a34 = vbcaxq_u64(b34, b04, b44);                                                \
    a44 = vbcaxq_u64(b44, b14, b04);                                                \
  } while (0)

KYBER_ALG_TARGET_SHA3 void keccak_f1600(uint64_t state[25]) {
  uint64x2_t s[25];
  for (int i = 0; i < 25; ++i) s[i] = vdupq_n_u64(state[i]);
  KECCAK_LOAD_LANES(uint64x2_t, s)
  for (int round = 0; round < 24; ++round) KECCAK_SHA3_ROUND(vdupq_n_u64(keccak_round_constants[round]));
  KECCAK_STORE_LANES(s)
  for (int i = 0; i < 25; ++i) state[i] = vgetq_lane_u64(s[i], 0);
}

#undef KECCAK_SHA3_ROUND

}  // namespace kyber_alg::mlkem::sha3

#endif
