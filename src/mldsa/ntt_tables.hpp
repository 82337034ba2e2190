// The twiddle factors of the NTT (FIPS 204 Appendix B: zeta^BitRev8(i) for
// zeta = 1753), computed at compile time in Montgomery form, for the portable
// and the vector NTT alike.
#pragma once

#include <array>
#include <cstdint>

#include "mldsa/reduce.hpp"

namespace kyber_alg::mldsa {

consteval int bit_reverse8(int i) {
  int r = 0;
  for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1) << (7 - b);
  return r;
}

// zeta^BitRev8(i) * 2^32 mod q, centred: multiplying by one with
// montgomery_mul multiplies by zeta^BitRev8(i).
consteval std::array<int32_t, 256> make_zetas() {
  std::array<int32_t, 256> z{};
  const int64_t r = pow_mod_q(2, 32);
  for (int i = 0; i < 256; ++i) {
    int64_t v = pow_mod_q(1753, bit_reverse8(i)) * r % q;
    if (v > q / 2) v -= q;
    z[i] = static_cast<int32_t>(v);
  }
  return z;
}

inline constexpr std::array<int32_t, 256> zetas = make_zetas();
static_assert(pow_mod_q(1753, 256) == q - 1);  // zeta is a primitive 512th root of unity

// 2^64 / 256 mod q: the final scaling of NTT^-1, applied by montgomery_mul
// (so it multiplies by 2^32 / 256).
inline constexpr int32_t inverse_scale = static_cast<int32_t>(pow_mod_q(2, 64) * pow_mod_q(256, q - 2) % q);

// In a layer of G = 128 / len groups, the forward NTT's group s multiplies
// by zetas[G + s] and the inverse's by -zetas[2G - 1 - s].
constexpr int32_t forward_zeta(int len, int s) { return zetas[128 / len + s]; }
constexpr int32_t inverse_zeta(int len, int s) { return -zetas[2 * (128 / len) - 1 - s]; }

}  // namespace kyber_alg::mldsa
