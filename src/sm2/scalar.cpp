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

void scalar_recode(int8_t* digits, int count, int window_bits, const Scalar& s) {
  const uint64_t window_mask = (uint64_t{1} << window_bits) - 1;
  const uint64_t half = uint64_t{1} << (window_bits - 1);
  uint64_t carry = 0;
  for (int i = 0; i < count; ++i) {
    // The bits at window_bits * i (they may straddle two limbs), plus the carry.
    const int bit = window_bits * i;
    const int limb = bit / 64, shift = bit % 64;
    uint64_t window = limb < 4 ? s.v[limb] >> shift : 0;
    if (shift > 64 - window_bits && limb < 3) window |= s.v[limb + 1] << (64 - shift);
    window = (window & window_mask) + carry;
    // window in [0, 2 half]; above half it becomes window - 2 half with a carry of one.
    carry = (half - window) >> 63;
    digits[i] =
        static_cast<int8_t>(static_cast<int64_t>(window) - static_cast<int64_t>(carry << window_bits));
  }
}

}  // namespace kyber_alg::sm2
