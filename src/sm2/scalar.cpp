#include "sm2/scalar.hpp"

#include "common/ct.hpp"
#include "sm2/limbs.hpp"

namespace kyber_alg::sm2 {

namespace {

uint64_t is_nonzero(const Scalar& s) { return ct::mask64_nonzero(s.v[0] | s.v[1] | s.v[2] | s.v[3]); }

// n - k for small k (no limb of n borrows beyond the lowest).
Scalar order_minus(uint64_t k) {
  Scalar r = kOrder;
  r.v[0] -= k;
  return r;
}

}  // namespace

Scalar scalar_from_bytes(const uint8_t in[32]) {
  Scalar s;
  limbs_from_bytes(s.v, in);
  return s;
}

void scalar_to_bytes(uint8_t out[32], const Scalar& s) { limbs_to_bytes(out, s.v); }

uint64_t scalar_is_nonce(const Scalar& s) { return is_nonzero(s) & limbs_less_than(s.v, kOrder.v); }

uint64_t scalar_is_private_key(const Scalar& s) {
  return is_nonzero(s) & limbs_less_than(s.v, order_minus(1).v);
}

uint64_t scalar_recode_odd(int8_t* digits, int count, int window_bits, const Scalar& s) {
  uint64_t negated[4], borrow = 0;
  for (int i = 0; i < 4; ++i) negated[i] = sub_borrow(kOrder.v[i], s.v[i], borrow);
  const uint64_t even = ct::mask64_from_bit((s.v[0] & 1) ^ 1);
  uint64_t k[4];
  for (int i = 0; i < 4; ++i) k[i] = s.v[i] ^ (even & (s.v[i] ^ negated[i]));
  // k odd: its low window_bits + 1 bits minus 2^window_bits is an odd digit,
  // and (k - digit) / 2^window_bits is odd again.
  const uint64_t low_mask = (uint64_t{2} << window_bits) - 1;
  const int64_t half = int64_t{1} << window_bits;
  for (int i = 0; i < count - 1; ++i) {
    const int64_t digit = static_cast<int64_t>(k[0] & low_mask) - half;
    digits[i] = static_cast<int8_t>(digit);
    // k - digit never leaves [0, 2^256): add -digit, sign-extended.
    const uint64_t minus = static_cast<uint64_t>(-digit);
    const uint64_t extension = static_cast<uint64_t>(-digit >> 63);
    uint64_t carry = 0;
    k[0] = add_carry(k[0], minus, carry);
    for (int j = 1; j < 4; ++j) k[j] = add_carry(k[j], extension, carry);
    for (int j = 0; j < 3; ++j) k[j] = (k[j] >> window_bits) | (k[j + 1] << (64 - window_bits));
    k[3] >>= window_bits;
  }
  digits[count - 1] = static_cast<int8_t>(k[0]);
  return even;
}

}  // namespace kyber_alg::sm2
