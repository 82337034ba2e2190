#include "sm2/scalar_arith.hpp"

#include "common/ct.hpp"
#include "sm2/field.hpp"

namespace kyber_alg::sm2 {

namespace {

// -1/n mod 2^64, for the Montgomery reduction.
constexpr uint64_t kOrderInverse = 0x327f9e8872350975;
// R^2 mod n with R = 2^256: multiplying by it enters Montgomery form.
constexpr Scalar kOrderRSquared = {
    {0x901192af7c114f20, 0x3464504ade6fa2fa, 0x620fc84c3affe0d4, 0x1eb5e412a22b3d3b}};

// (top:t) - n if that does not borrow, else t; for values below 2n.
Scalar subtract_order_once(const uint64_t t[4], uint64_t top) {
  uint64_t borrow = 0, d[4];
  for (int i = 0; i < 4; ++i) d[i] = sub_borrow(t[i], kOrder.v[i], borrow);
  const uint64_t keep = ct::mask64_from_bit(borrow & (top ^ 1));
  Scalar r;
  for (int i = 0; i < 4; ++i) r.v[i] = (t[i] & keep) | (d[i] & ~keep);
  return r;
}

// a * b / R mod n (word-by-word Montgomery multiplication, CIOS order), for
// a, b < n: each round adds a[i]*b and then a multiple of n that clears the
// low word, so the running value stays below 2n.
Scalar montgomery_mul(const Scalar& a, const Scalar& b) {
  uint64_t t[6] = {0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    uint64_t carry = 0;
    for (int j = 0; j < 4; ++j) {
      const u128 p = static_cast<u128>(a.v[i]) * b.v[j] + t[j] + carry;
      t[j] = static_cast<uint64_t>(p);
      carry = static_cast<uint64_t>(p >> 64);
    }
    u128 s = static_cast<u128>(t[4]) + carry;
    t[4] = static_cast<uint64_t>(s);
    t[5] = static_cast<uint64_t>(s >> 64);

    const uint64_t m = t[0] * kOrderInverse;
    u128 p = static_cast<u128>(m) * kOrder.v[0] + t[0];
    carry = static_cast<uint64_t>(p >> 64);
    for (int j = 1; j < 4; ++j) {
      p = static_cast<u128>(m) * kOrder.v[j] + t[j] + carry;
      t[j - 1] = static_cast<uint64_t>(p);
      carry = static_cast<uint64_t>(p >> 64);
    }
    s = static_cast<u128>(t[4]) + carry;
    t[3] = static_cast<uint64_t>(s);
    t[4] = t[5] + static_cast<uint64_t>(s >> 64);
  }
  return subtract_order_once(t, t[4]);
}

}  // namespace

Scalar order_reduce(const Scalar& a) { return subtract_order_once(a.v, 0); }

Scalar order_add(const Scalar& a, const Scalar& b) {
  uint64_t carry = 0, s[4];
  for (int i = 0; i < 4; ++i) s[i] = add_carry(a.v[i], b.v[i], carry);
  return subtract_order_once(s, carry);
}

Scalar order_sub(const Scalar& a, const Scalar& b) {
  uint64_t borrow = 0;
  Scalar r;
  for (int i = 0; i < 4; ++i) r.v[i] = sub_borrow(a.v[i], b.v[i], borrow);
  const uint64_t mask = ct::mask64_from_bit(borrow);
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) r.v[i] = add_carry(r.v[i], kOrder.v[i] & mask, carry);
  return r;
}

Scalar order_mul(const Scalar& a, const Scalar& b) {
  // (ab/R) * R^2 / R = ab.
  return montgomery_mul(montgomery_mul(a, b), kOrderRSquared);
}

Scalar order_invert(const Scalar& a) {
  // Montgomery form throughout: powers[i] = a^i R.
  ct::Wiped<Scalar[16]> powers;
  powers.value[1] = montgomery_mul(a, kOrderRSquared);
  powers.value[0] = montgomery_mul(Scalar{{1, 0, 0, 0}}, kOrderRSquared);
  for (int i = 2; i < 16; ++i) powers.value[i] = montgomery_mul(powers.value[i - 1], powers.value[1]);
  // n - 2, most significant nibble first.
  Scalar e = kOrder;
  e.v[0] -= 2;
  ct::Wiped<Scalar> acc;
  acc.value = powers.value[0];
  for (int nibble = 63; nibble >= 0; --nibble) {
    if (nibble != 63)
      for (int s = 0; s < 4; ++s) acc.value = montgomery_mul(acc.value, acc.value);
    const int digit = static_cast<int>((e.v[nibble / 16] >> (4 * (nibble % 16))) & 15);
    acc.value = montgomery_mul(acc.value, powers.value[digit]);  // public index: the exponent's digit
  }
  return montgomery_mul(acc.value, Scalar{{1, 0, 0, 0}});  // out of Montgomery form
}

uint64_t order_is_zero(const Scalar& a) { return ct::mask64_zero(a.v[0] | a.v[1] | a.v[2] | a.v[3]); }

}  // namespace kyber_alg::sm2
