// Arithmetic modulo q = 8380417 on signed 32-bit coefficients: Montgomery
// multiplication (R = 2^32) and the reductions the NTT and the rounding use.
// Branch-free: they run on secret coefficients.
#pragma once

#include <cstdint>

#include "mldsa/params.hpp"

namespace kyber_alg::mldsa {

// q^-1 mod 2^32, by Newton's iteration (each step doubles the correct bits).
consteval uint32_t inverse_mod_2_32(uint32_t a) {
  uint32_t x = a;  // correct to 3 bits for odd a
  for (int i = 0; i < 5; ++i) x *= 2 - a * x;
  return x;
}

inline constexpr uint32_t q_inv = inverse_mod_2_32(static_cast<uint32_t>(q));
static_assert(static_cast<uint32_t>(q) * q_inv == 1u);

consteval int64_t pow_mod_q(int64_t base, int64_t exp) {
  int64_t result = 1;
  base %= q;
  while (exp) {
    if (exp & 1) result = result * base % q;
    base = base * base % q;
    exp >>= 1;
  }
  return result;
}

// a * 2^-32 mod q, for |a| < 2^31 q; the result lies in (-q, q).
constexpr int32_t montgomery_reduce(int64_t a) {
  const auto t = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(a)) * q_inv);
  return static_cast<int32_t>((a - static_cast<int64_t>(t) * q) >> 32);
}

// a * b * 2^-32 mod q.
constexpr int32_t montgomery_mul(int32_t a, int32_t b) {
  return montgomery_reduce(static_cast<int64_t>(a) * b);
}

// A representative of a mod q in [-6283008, 6283008], for a below 2^31 - 2^22.
constexpr int32_t reduce32(int32_t a) {
  const int32_t t = (a + (1 << 22)) >> 23;
  return a - t * q;
}

// a + q if a is negative: (-q, q) to [0, q).
constexpr int32_t add_q_if_negative(int32_t a) { return a + ((a >> 31) & q); }

// a mod+ q in [0, q), for any a reduce32 accepts.
constexpr int32_t freeze(int32_t a) { return add_q_if_negative(reduce32(a)); }

// a mod± q in [-(q-1)/2, (q-1)/2], for any a reduce32 accepts.
constexpr int32_t centered(int32_t a) {
  const int32_t r = freeze(a);
  return r - (((((q - 1) / 2) - r) >> 31) & q);
}

// |a| for a centred value, without a branch.
constexpr int32_t abs_value(int32_t a) {
  const int32_t sign = a >> 31;
  return (a ^ sign) - sign;
}

}  // namespace kyber_alg::mldsa
