// The rounding of FIPS 204 section 7.4: Power2Round (Algorithm 35),
// Decompose (36), HighBits (37), LowBits (38), MakeHint (39) and UseHint (40).
// All branch-free: signing runs them on secret values. Plain arithmetic (no
// value barriers) so that the loops over whole vectors compile to vector code;
// the valgrind check covers what the compiler emits.
#pragma once

#include <cstdint>

#include "mldsa/params.hpp"
#include "mldsa/reduce.hpp"

namespace kyber_alg::mldsa {

struct Split {
  int32_t high;
  int32_t low;
};

// Algorithm 35, for r in [0, q): r = high * 2^d + low, low in (-2^(d-1), 2^(d-1)].
constexpr Split power2round(int32_t r) {
  const int32_t high = (r + (1 << (d - 1)) - 1) >> d;
  return {high, r - (high << d)};
}

// Algorithm 36, for r in [0, q): r = high * 2 gamma2 + low with low in
// (-gamma2, gamma2], except that high = (q-1) / (2 gamma2) becomes high = 0, low - 1.
template <int32_t Gamma2>
constexpr Split decompose(int32_t r) {
  constexpr int32_t alpha = 2 * Gamma2;
  constexpr int32_t top = (q - 1) / alpha;
  int32_t high = static_cast<int32_t>(static_cast<uint32_t>(r) / alpha);  // a multiply by a constant
  int32_t low = r - high * alpha;
  const int32_t above = (Gamma2 - low) >> 31;  // low > gamma2
  low -= alpha & above;
  high -= above;
  const int32_t wrap = (top - 1 - high) >> 31;  // high == top (high is at most top)
  high &= ~wrap;
  low += wrap;  // low - 1
  return {high, low};
}

// Algorithm 37, HighBits: the high part of r in [0, q).
template <int32_t Gamma2>
constexpr int32_t high_bits(int32_t r) {
  return decompose<Gamma2>(r).high;
}

// Algorithm 39, MakeHint(z, r): 1 if adding z to r changes its high bits.
// r and z in the range reduce32 accepts (their sum too).
template <int32_t Gamma2>
constexpr int32_t make_hint(int32_t z, int32_t r) {
  const int32_t differ = high_bits<Gamma2>(freeze(r)) ^ high_bits<Gamma2>(freeze(r + z));
  return static_cast<int32_t>((0u - static_cast<uint32_t>(differ)) >> 31);  // differ >= 0
}

// Algorithm 40 for one coefficient r in [0, q) and hint bit h (public, in verification).
template <int32_t Gamma2>
constexpr int32_t use_hint(int32_t h, int32_t r) {
  constexpr int32_t m = (q - 1) / (2 * Gamma2);
  const Split s = decompose<Gamma2>(r);
  if (!h) return s.high;
  if (s.low > 0) return s.high + 1 == m ? 0 : s.high + 1;
  return s.high == 0 ? m - 1 : s.high - 1;
}

}  // namespace kyber_alg::mldsa
