// GHASH with the 64-bit polynomial multiply (PMULL, PMULL2). A block is
// byte-reversed into a register so that it holds GCM's 128-bit integer
// (ghash.hpp), low half in lane 0; up to eight blocks are multiplied by
// descending powers of H and summed unreduced, then reduced once, with the
// same shifts as the portable code.
#include "sm4/ghash_pmull.hpp"

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_ARM_VECTOR
#include <arm_neon.h>

namespace kyber_alg::sm4 {
namespace {

struct Wide {
  uint64x2_t high, middle, low;  // the three 128-bit partial products
};

inline uint64x2_t byte_reverse(uint8x16_t x) {
  const uint8x16_t halves = vrev64q_u8(x);
  return vreinterpretq_u64_u8(vextq_u8(halves, halves, 8));
}

KYBER_ALG_TARGET_PMULL inline uint64x2_t multiply(uint64_t a, uint64_t b) {
  return vreinterpretq_u64_p128(vmull_p64(a, b));
}

KYBER_ALG_TARGET_PMULL inline void multiply_add(Wide& acc, uint64x2_t x, uint64x2_t h) {
  const uint64_t x0 = vgetq_lane_u64(x, 0), x1 = vgetq_lane_u64(x, 1);
  const uint64_t h0 = vgetq_lane_u64(h, 0), h1 = vgetq_lane_u64(h, 1);
  acc.low = veorq_u64(acc.low, multiply(x0, h0));
  acc.high = veorq_u64(
      acc.high, vreinterpretq_u64_p128(vmull_high_p64(vreinterpretq_p64_u64(x), vreinterpretq_p64_u64(h))));
  acc.middle = veorq_u64(acc.middle, veorq_u64(multiply(x1, h0), multiply(x0, h1)));
}

// The lanes {x[1], 0} and {0, x[0]}: a whole-register shift by 64 bits.
inline uint64x2_t high_down(uint64x2_t x) { return vextq_u64(x, vdupq_n_u64(0), 1); }
inline uint64x2_t low_up(uint64x2_t x) { return vextq_u64(vdupq_n_u64(0), x, 1); }

// The 255-bit product, shifted left by one, reduced modulo x^128 + x^7 + x^2 + x + 1.
inline uint64x2_t reduce(const Wide& p) {
  uint64x2_t hi = veorq_u64(p.high, high_down(p.middle));
  uint64x2_t lo = veorq_u64(p.low, low_up(p.middle));
  const uint64x2_t lo_carry = vshrq_n_u64(lo, 63), hi_carry = vshrq_n_u64(hi, 63);
  lo = vorrq_u64(vshlq_n_u64(lo, 1), low_up(lo_carry));
  hi = vorrq_u64(vorrq_u64(vshlq_n_u64(hi, 1), low_up(hi_carry)), high_down(lo_carry));
  // Bits of the low word shifted out by 1, 2 and 7 go to the top word first.
  const uint64x2_t overflow =
      veorq_u64(veorq_u64(vshlq_n_u64(lo, 63), vshlq_n_u64(lo, 62)), vshlq_n_u64(lo, 57));
  const uint64x2_t m = veorq_u64(lo, low_up(overflow));
  const uint64x2_t right = veorq_u64(veorq_u64(vshrq_n_u64(m, 1), vshrq_n_u64(m, 2)), vshrq_n_u64(m, 7));
  const uint64x2_t across = veorq_u64(veorq_u64(vshlq_n_u64(m, 63), vshlq_n_u64(m, 62)), vshlq_n_u64(m, 57));
  return veorq_u64(veorq_u64(hi, m), veorq_u64(right, high_down(across)));
}

// acc = (acc ^ X_0) * H^n ^ X_1 * H^(n-1) ^ ... ^ X_(n-1) * H, for n <= 8.
KYBER_ALG_TARGET_PMULL inline uint64x2_t hash_group(const GhashKey& key, uint64x2_t acc, const uint8_t* data,
                                                    std::size_t n) {
  Wide sum{vdupq_n_u64(0), vdupq_n_u64(0), vdupq_n_u64(0)};
  for (std::size_t i = 0; i < n; ++i) {
    uint64x2_t x = byte_reverse(vld1q_u8(data + 16 * i));
    if (i == 0) x = veorq_u64(x, acc);
    multiply_add(sum, x, vld1q_u64(key.power[n - i - 1]));
  }
  return reduce(sum);
}

}  // namespace

KYBER_ALG_TARGET_PMULL void ghash_blocks_pmull(const GhashKey& key, uint8_t y[16], const uint8_t* data,
                                               std::size_t blocks) {
  uint64x2_t acc = byte_reverse(vld1q_u8(y));
  for (; blocks >= kGhashPowers; blocks -= kGhashPowers, data += 16 * kGhashPowers)
    acc = hash_group(key, acc, data, kGhashPowers);
  if (blocks > 0) acc = hash_group(key, acc, data, blocks);
  vst1q_u8(y, vreinterpretq_u8_u64(byte_reverse(vreinterpretq_u8_u64(acc))));
}

}  // namespace kyber_alg::sm4

#endif
