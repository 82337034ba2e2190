// Scalars for the SM2 group of prime order n: decoding, range checks and the
// signed-digit recoding that the constant-time scalar multiplications walk
// through.
#pragma once

#include <cstdint>

namespace kyber_alg::sm2 {

// A 256-bit number, four 64-bit limbs, least significant first.
struct Scalar {
  uint64_t v[4];
};

inline constexpr Scalar kOrder = {
    {0x53bbf40939d54123, 0x7203df6b21c6052b, 0xffffffffffffffff, 0xfffffffeffffffff}};

Scalar scalar_from_bytes(const uint8_t in[32]);
void scalar_to_bytes(uint8_t out[32], const Scalar& s);

// All ones if 1 <= s <= n - 1 (nonces), in constant time.
uint64_t scalar_is_nonce(const Scalar& s);
// All ones if 1 <= s <= n - 2 (private keys: d + 1 must be invertible mod n
// for signatures with the same key), in constant time.
uint64_t scalar_is_private_key(const Scalar& s);

// Signed odd digits of s in radix 2^window_bits, in constant time (no branch
// or index on the scalar's bits): every digit odd with |digit| < 2^window_bits,
// so a table of the odd multiples 1, 3, ..., 2^window_bits - 1 serves every
// digit and no digit is zero. The digits are those of s when s is odd, else
// of n - s (odd, since n is), and the returned mask is then all ones: the
// multiple must be negated. For 1 <= s <= n - 1; count must be enough for the
// last digit to take what remains (count * window_bits >= 257), and
// window_bits at most 7.
uint64_t scalar_recode_odd(int8_t* digits, int count, int window_bits, const Scalar& s);

}  // namespace kyber_alg::sm2
