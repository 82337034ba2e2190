// SM3 compression with the Armv8.2 SM3 instructions. The state is two vectors,
// lanes {D, C, B, A} and {H, G, F, E}: SM3SS1 forms SS1 from A, E and T_j <<< j,
// SM3TT1A/B and SM3TT2A/B run a round on each half (FF and GG as XOR for rounds
// 0..15, as majority and choice after), taking W'_j and W_j from a lane of the
// four words of their group. SM3PARTW1 and SM3PARTW2 expand four words at a time.
#include "sm3/kernels.hpp"

#if KYBER_ALG_HAVE_ARM_VECTOR
#include <arm_neon.h>

#include <utility>

#include "sm3/rounds.hpp"

namespace kyber_alg::sm3 {
namespace {

// Words W_j..W_(j+3), j = 4k, from the sixteen before them: x4 holds
// W_(j-16..j-13), x3, x2, and x1 W_(j-4..j-1).
KYBER_ALG_TARGET_SMCE inline uint32x4_t expand_four_words(uint32x4_t x4, uint32x4_t x3, uint32x4_t x2,
                                                          uint32x4_t x1) {
  const uint32x4_t w_minus9 = vextq_u32(x3, x2, 3);   // W_(j-9..j-6)
  const uint32x4_t w_minus6 = vextq_u32(x2, x1, 2);   // W_(j-6..j-3)
  const uint32x4_t w_minus13 = vextq_u32(x4, x3, 3);  // W_(j-13..j-10)
  return vsm3partw2q_u32(vsm3partw1q_u32(x4, w_minus9, x1), w_minus6, w_minus13);
}

// Four rounds j = 4k..4k+3 with w = W_j..W_(j+3) and w_prime = W'_j..W'_(j+3).
template <int kGroup>
KYBER_ALG_TARGET_SMCE inline void four_rounds(uint32x4_t& abcd, uint32x4_t& efgh, uint32x4_t w,
                                              uint32x4_t w_prime) {
  constexpr int j = 4 * kGroup;
#define KYBER_ALG_SM3_ROUND(lane)                                                      \
  do {                                                                                 \
    const uint32x4_t ss1 = vsm3ss1q_u32(abcd, efgh, vdupq_n_u32(kRotatedT[j + lane])); \
    if constexpr (kGroup < 4) {                                                        \
      abcd = vsm3tt1aq_u32(abcd, ss1, w_prime, lane);                                  \
      efgh = vsm3tt2aq_u32(efgh, ss1, w, lane);                                        \
    } else {                                                                           \
      abcd = vsm3tt1bq_u32(abcd, ss1, w_prime, lane);                                  \
      efgh = vsm3tt2bq_u32(efgh, ss1, w, lane);                                        \
    }                                                                                  \
  } while (0)
  KYBER_ALG_SM3_ROUND(0);
  KYBER_ALG_SM3_ROUND(1);
  KYBER_ALG_SM3_ROUND(2);
  KYBER_ALG_SM3_ROUND(3);
#undef KYBER_ALG_SM3_ROUND
}

// Group k of the schedule: x[k % 5] = W_4k.., x[(k + 1) % 5] the next group,
// and so on; the group four ahead is formed before the rounds of group k.
template <int kGroup>
KYBER_ALG_TARGET_SMCE inline void schedule_group(uint32x4_t& abcd, uint32x4_t& efgh, uint32x4_t x[5]) {
  if constexpr (kGroup + 4 <= 16)
    x[(kGroup + 4) % 5] =
        expand_four_words(x[kGroup % 5], x[(kGroup + 1) % 5], x[(kGroup + 2) % 5], x[(kGroup + 3) % 5]);
  four_rounds<kGroup>(abcd, efgh, x[kGroup % 5], veorq_u32(x[kGroup % 5], x[(kGroup + 1) % 5]));
}

template <int... kGroups>
KYBER_ALG_TARGET_SMCE inline void all_groups(uint32x4_t& abcd, uint32x4_t& efgh, uint32x4_t x[5],
                                             std::integer_sequence<int, kGroups...>) {
  (schedule_group<kGroups>(abcd, efgh, x), ...);
}

// Lanes {a, b, c, d} as {d, c, b, a}, and back.
inline uint32x4_t reverse_lanes(uint32x4_t x) {
  const uint32x4_t swapped = vrev64q_u32(x);
  return vextq_u32(swapped, swapped, 2);
}

KYBER_ALG_TARGET_SMCE void compress_blocks_smce(uint32_t v[8], const uint8_t* data, std::size_t blocks) {
  uint32x4_t abcd = reverse_lanes(vld1q_u32(v));
  uint32x4_t efgh = reverse_lanes(vld1q_u32(v + 4));
  for (std::size_t i = 0; i < blocks; ++i, data += 64) {
    const uint32x4_t abcd_in = abcd, efgh_in = efgh;
    uint32x4_t x[5];
    for (int k = 0; k < 4; ++k) x[k] = vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(data + 16 * k)));
    all_groups(abcd, efgh, x, std::make_integer_sequence<int, 16>{});
    abcd = veorq_u32(abcd, abcd_in);
    efgh = veorq_u32(efgh, efgh_in);
  }
  vst1q_u32(v, reverse_lanes(abcd));
  vst1q_u32(v + 4, reverse_lanes(efgh));
}

const Kernels kSmce = {compress_blocks_smce};

}  // namespace

const Kernels* const kSmceKernels = &kSmce;

}  // namespace kyber_alg::sm3

#else

namespace kyber_alg::sm3 {
const Kernels* const kSmceKernels = nullptr;
}  // namespace kyber_alg::sm3

#endif
