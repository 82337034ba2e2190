#include "sm2/scalar.hpp"

#include "common/ct.hpp"
#include "sm2/field.hpp"

namespace kyber_alg::sm2 {

namespace {

// All ones if s < bound.
uint64_t less_than(const Scalar& s, const Scalar& bound) {
  uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) detail::sub_borrow(s.v[i], bound.v[i], borrow);
  return ct::mask64_from_bit(borrow);
}

uint64_t is_nonzero(const Scalar& s) { return ct::mask64_nonzero(s.v[0] | s.v[1] | s.v[2] | s.v[3]); }

// n - k for small k (no limb of n borrows beyond the lowest).
Scalar order_minus(uint64_t k) {
  Scalar r = kOrder;
  r.v[0] -= k;
  return r;
}

}  // namespace

Scalar scalar_from_bytes(const uint8_t in[32]) {
  const Fe f = fe_from_bytes(in);
  return Scalar{{f.v[0], f.v[1], f.v[2], f.v[3]}};
}

void scalar_to_bytes(uint8_t out[32], const Scalar& s) {
  fe_to_bytes(out, Fe{{s.v[0], s.v[1], s.v[2], s.v[3]}});
}

uint64_t scalar_is_nonce(const Scalar& s) { return is_nonzero(s) & less_than(s, kOrder); }

uint64_t scalar_is_private_key(const Scalar& s) { return is_nonzero(s) & less_than(s, order_minus(1)); }

void scalar_recode(int8_t digits[kDigits], const Scalar& s) {
  uint64_t carry = 0;
  for (int i = 0; i < kDigits; ++i) {
    // The five bits at 5i (they may straddle two limbs), plus the carry.
    const int bit = kWindowBits * i;
    const int limb = bit / 64, shift = bit % 64;
    uint64_t window = s.v[limb] >> shift;
    if (shift > 64 - kWindowBits && limb < 3) window |= s.v[limb + 1] << (64 - shift);
    window = (window & 31) + carry;
    // window in [0, 32]; above 16 it becomes window - 32 with a carry of one.
    carry = (16 - window) >> 63;
    digits[i] =
        static_cast<int8_t>(static_cast<int64_t>(window) - static_cast<int64_t>(carry << kWindowBits));
  }
}

}  // namespace kyber_alg::sm2
