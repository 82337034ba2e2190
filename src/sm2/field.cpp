// Byte conversion for elements of the SM2 prime field.
#include "sm2/field.hpp"

namespace kyber_alg::sm2 {

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
