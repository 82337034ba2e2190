// Constants of the NTT, computed at compile time from zeta = 17 so that
// they can be checked against FIPS 203 Appendix A rather than copied.
#pragma once

#include <array>
#include <cstdint>

#include "mlkem/params.hpp"

namespace kyber_alg::mlkem {

namespace tables {

inline constexpr int bit_rev7(int i) {
  int r = 0;
  for (int b = 0; b < 7; ++b) r |= ((i >> b) & 1) << (6 - b);
  return r;
}

inline constexpr int32_t pow_mod_q(int32_t base, int e) {
  int32_t r = 1;
  for (int i = 0; i < e; ++i) r = (r * base) % q;
  return r;
}

// x * 2^16 mod q, centred in (-q/2, q/2], the form fqmul expects.
inline constexpr int16_t montgomery_form(int32_t x) {
  int32_t r = static_cast<int32_t>((static_cast<int64_t>(x) << 16) % q);
  if (r > q / 2) r -= q;
  return static_cast<int16_t>(r);
}

inline constexpr int32_t zeta = 17;  // primitive 256th root of unity mod q

// zetas[i] = zeta^BitRev7(i), in Montgomery form (FIPS 203 Appendix A).
inline constexpr std::array<int16_t, 128> zetas = [] {
  std::array<int16_t, 128> z{};
  for (int i = 0; i < 128; ++i) z[i] = montgomery_form(pow_mod_q(zeta, bit_rev7(i)));
  return z;
}();

// gammas[i] = zeta^(2 BitRev7(i) + 1), in Montgomery form (MultiplyNTTs).
inline constexpr std::array<int16_t, 128> gammas = [] {
  std::array<int16_t, 128> g{};
  for (int i = 0; i < 128; ++i) g[i] = montgomery_form(pow_mod_q(zeta, 2 * bit_rev7(i) + 1));
  return g;
}();

// 2^32 / 128 mod q in Montgomery form: fqmul by it multiplies by 2^16 / 128.
inline constexpr int16_t inverse_ntt_scale = montgomery_form((montgomery_form(1) + q) % q * 3303 % q);
static_assert((128 * 3303) % q == 1);

inline constexpr int16_t montgomery_r2 = montgomery_form((montgomery_form(1) + q) % q);  // 2^32 mod q

static_assert(pow_mod_q(zeta, 128) == q - 1, "17 must have order 256 mod q");
static_assert(zetas[1] == montgomery_form(1729));

}  // namespace tables

}  // namespace kyber_alg::mlkem
