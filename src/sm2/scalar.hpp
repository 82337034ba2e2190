// Scalars for the SM2 group of prime order n: decoding, range checks and the
// signed-digit recoding that the scalar multiplications walk through.
#pragma once

#include <cstdint>

namespace kyber_alg::sm2 {

// A 256-bit number, four 64-bit limbs, least significant first.
struct Scalar {
  uint64_t v[4];
};

inline constexpr Scalar kOrder = {
    {0x53bbf40939d54123, 0x7203df6b21c6052b, 0xffffffffffffffff, 0xfffffffeffffffff}};

// Signed radix-32 digits: k = sum of digit[i] * 32^i, each digit in [-16, 16]
// (the top one in [0, 2]).
inline constexpr int kWindowBits = 5;
inline constexpr int kDigits = 52;

Scalar scalar_from_bytes(const uint8_t in[32]);
void scalar_to_bytes(uint8_t out[32], const Scalar& s);

// All ones if 1 <= s <= n - 1 (nonces), in constant time.
uint64_t scalar_is_nonce(const Scalar& s);
// All ones if 1 <= s <= n - 2 (private keys: d + 1 must be invertible mod n
// for signatures with the same key), in constant time.
uint64_t scalar_is_private_key(const Scalar& s);

// Constant-time recoding into signed digits (no branch on the scalar's bits).
void scalar_recode(int8_t digits[kDigits], const Scalar& s);

}  // namespace kyber_alg::sm2
