#include "sm2/key_exchange.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "sm2/curve.hpp"
#include "sm2/kernels.hpp"
#include "sm2/scalar_arith.hpp"
#include "sm3/kdf.hpp"
#include "sm3/sm3.hpp"

namespace kyber_alg::sm2 {

namespace {

// x-bar = 2^w + (x & (2^w - 1)) with w = ceil(ceil(log2 n) / 2) - 1 = 127:
// the low 127 bits of the point's x, with bit 127 set.
Scalar x_bar(const AffinePoint& p) {
  const Fe x = from_montgomery(p.x);
  return Scalar{{x.v[0], (x.v[1] & 0x7fffffffffffffff) | 0x8000000000000000, 0, 0}};
}

// SM3(tag || y || inner).
void confirmation(uint8_t out[kConfirmationSize], uint8_t tag, const uint8_t y[32], const uint8_t inner[32]) {
  ct::Wiped<sm3::State> state;
  sm3::init(state.value);
  sm3::update(state.value, &tag, 1);
  sm3::update(state.value, y, 32);
  sm3::update(state.value, inner, 32);
  sm3::finish(state.value, out);
}

}  // namespace

KeyExchangeStatus key_exchange(const KeyExchangeInput& in, uint8_t* key, std::size_t len,
                               uint8_t own_confirmation[kConfirmationSize],
                               uint8_t peer_confirmation[kConfirmationSize]) {
  using C = Curve<PortableField>;
  // A4/B3 and A5/B4: t = (d + x-bar(own R) * r) mod n.
  ct::Wiped<Scalar> t;
  t.value = order_add(in.d, order_mul(x_bar(in.own_ephemeral), in.r));

  // A6/B5 and A7/B6, public part: Q = P_peer + [x-bar(peer R)]R_peer.
  const JacobianPoint q = C::add_complete(to_jacobian(in.peer_static),
                                          kernels()->mul_point(x_bar(in.peer_ephemeral), in.peer_ephemeral));
  if (fe_is_zero(q.z)) return KeyExchangeStatus::infinity;
  const AffinePoint q_affine = to_affine(q);

  // A7/B6: U = V = [h * t]Q with h = 1. t = 0 (negligible) is replaced by 1
  // and reported as a failure with the point at infinity.
  uint64_t t_zero = order_is_zero(t.value);
  ct::Wiped<Scalar> t_safe;
  t_safe.value = t.value;
  t_safe.value.v[0] |= t_zero & 1;
  ct::Wiped<JacobianPoint> shared;
  shared.value = kernels()->mul_point(t_safe.value, q_affine);
  uint64_t failed = t_zero | fe_is_zero(shared.value.z);
  ct::declassify(&failed, sizeof failed);  // the outcome of the exchange
  if (failed) {
    ct::wipe(key, len);
    return KeyExchangeStatus::infinity;
  }
  ct::Wiped<uint8_t[kPointSize]> xy;
  {
    ct::Wiped<AffinePoint> affine;
    affine.value = to_affine(shared.value);
    encode_point(xy.value, affine.value);
  }

  // A8/B7: K = KDF(xU || yU || ZA || ZB, klen).
  ct::Wiped<uint8_t[kPointSize + 64]> kdf_input;
  std::memcpy(kdf_input.value, xy.value, kPointSize);
  std::memcpy(kdf_input.value + kPointSize, in.z_initiator, 32);
  std::memcpy(kdf_input.value + kPointSize + 32, in.z_responder, 32);
  std::memset(key, 0, len);
  sm3::kdf_xor(key, len, kdf_input.value, sizeof kdf_input.value);

  // A9/A10, B8/B10: inner = SM3(xU || ZA || ZB || x1 || y1 || x2 || y2) with
  // (x1, y1) = RA and (x2, y2) = RB; S1/SB = SM3(02 || yU || inner),
  // S2/SA = SM3(03 || yU || inner).
  uint8_t ra[kPointSize], rb[kPointSize];
  encode_point(in.initiator ? ra : rb, in.own_ephemeral);
  encode_point(in.initiator ? rb : ra, in.peer_ephemeral);
  ct::Wiped<uint8_t[32]> inner;
  {
    ct::Wiped<sm3::State> state;
    sm3::init(state.value);
    sm3::update(state.value, xy.value, 32);
    sm3::update(state.value, in.z_initiator, 32);
    sm3::update(state.value, in.z_responder, 32);
    sm3::update(state.value, ra, kPointSize);
    sm3::update(state.value, rb, kPointSize);
    sm3::finish(state.value, inner.value);
  }
  confirmation(in.initiator ? peer_confirmation : own_confirmation, 0x02, xy.value + 32, inner.value);
  confirmation(in.initiator ? own_confirmation : peer_confirmation, 0x03, xy.value + 32, inner.value);
  ct::declassify(own_confirmation, kConfirmationSize);  // sent in the clear
  ct::declassify(peer_confirmation, kConfirmationSize);
  return KeyExchangeStatus::ok;
}

}  // namespace kyber_alg::sm2
