// Inversion and byte conversion for elements of the SM2 prime field.
#include "sm2/field.hpp"

namespace kyber_alg::sm2 {

Fe fe_invert(const Fe& a) {
  // p - 2, from the most significant bit: 31 ones, a zero, 128 ones,
  // 32 zeros, 62 ones, then the bits 0 and 1. x_k below is a^(2^k - 1).
  const Fe x1 = a;
  const Fe x2 = fe_mul(fe_sqr(x1), x1);
  const Fe x3 = fe_mul(fe_sqr(x2), x1);
  const Fe x6 = fe_mul(fe_sqr_n(x3, 3), x3);
  const Fe x12 = fe_mul(fe_sqr_n(x6, 6), x6);
  const Fe x15 = fe_mul(fe_sqr_n(x12, 3), x3);
  const Fe x30 = fe_mul(fe_sqr_n(x15, 15), x15);
  const Fe x31 = fe_mul(fe_sqr(x30), x1);
  const Fe x32 = fe_mul(fe_sqr(x31), x1);
  const Fe x62 = fe_mul(fe_sqr_n(x32, 30), x30);

  Fe t = fe_sqr(x31);                                            // 31 ones, 0
  for (int i = 0; i < 4; ++i) t = fe_mul(fe_sqr_n(t, 32), x32);  // 128 ones
  t = fe_sqr_n(t, 32);                                           // 32 zeros
  t = fe_mul(fe_sqr_n(t, 62), x62);                              // 62 ones
  return fe_mul(fe_sqr_n(t, 2), x1);                             // 0, 1
}

Fe fe_from_bytes(const uint8_t in[32]) {
  Fe r;
  for (int limb = 0; limb < 4; ++limb) {
    uint64_t w = 0;
    for (int i = 0; i < 8; ++i) w = (w << 8) | in[(3 - limb) * 8 + i];
    r.v[limb] = w;
  }
  return r;
}

void fe_to_bytes(uint8_t out[32], const Fe& plain) {
  for (int limb = 0; limb < 4; ++limb)
    for (int i = 0; i < 8; ++i) out[(3 - limb) * 8 + i] = static_cast<uint8_t>(plain.v[limb] >> (56 - 8 * i));
}

uint64_t fe_is_canonical(const Fe& a) {
  uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) detail::sub_borrow(a.v[i], kPrime.v[i], borrow);
  return ct::mask64_from_bit(borrow);
}

}  // namespace kyber_alg::sm2
