#include "sm2/keys.hpp"

#include "common/ct.hpp"
#include "common/os_random.hpp"
#include "sm2/base_mult.hpp"
#include "sm2/kernels.hpp"

namespace kyber_alg::sm2 {

namespace {

// Rejection sampling: a rejected draw says nothing about the accepted one,
// so the accept decision may be a branch.
bool draw(Scalar& s, uint64_t (*accept)(const Scalar&)) {
  ct::Wiped<uint8_t[32]> bytes;
  for (;;) {
    if (!os_random(bytes.value, sizeof bytes.value)) return false;
    ct::classify(bytes.value, sizeof bytes.value);
    s = scalar_from_bytes(bytes.value);
    uint64_t ok = accept(s);
    ct::declassify(&ok, sizeof ok);
    if (ok) return true;
  }
}

}  // namespace

PointCheck decode_point(AffinePoint& out, const uint8_t in[kPointSize]) {
  uint8_t any = 0;
  for (std::size_t i = 0; i < kPointSize; ++i) any |= in[i];
  if (any == 0) return PointCheck::infinity;
  const Fe x = fe_from_bytes(in), y = fe_from_bytes(in + 32);
  if (!fe_is_canonical(x) || !fe_is_canonical(y)) return PointCheck::not_on_curve;
  out = {to_montgomery(x), to_montgomery(y)};
  return is_on_curve(out) ? PointCheck::ok : PointCheck::not_on_curve;
}

void encode_point(uint8_t out[kPointSize], const AffinePoint& p) {
  fe_to_bytes(out, from_montgomery(p.x));
  fe_to_bytes(out + 32, from_montgomery(p.y));
}

bool random_nonce(Scalar& k) { return draw(k, scalar_is_nonce); }

bool random_private_key(uint8_t d[kPrivateKeySize]) {
  ct::Wiped<Scalar> s;
  if (!draw(s.value, scalar_is_private_key)) return false;
  scalar_to_bytes(d, s.value);
  return true;
}

bool private_key_in_range(const uint8_t d[kPrivateKeySize]) {
  ct::Wiped<Scalar> s;
  s.value = scalar_from_bytes(d);
  uint64_t ok = scalar_is_private_key(s.value);
  ct::declassify(&ok, sizeof ok);  // the answer is reported to the caller
  return ok != 0;
}

namespace {

void encode_jacobian(uint8_t out[kPointSize], const JacobianPoint& p) {
  ct::Wiped<AffinePoint> a;
  a.value = to_affine(p);
  encode_point(out, a.value);
}

}  // namespace

void mul_base_bytes(uint8_t out[kPointSize], const Scalar& k) {
  ct::Wiped<JacobianPoint> p;
  p.value = mul_base(k);
  encode_jacobian(out, p.value);
}

void mul_point_bytes(uint8_t out[kPointSize], const Scalar& k, const AffinePoint& p) {
  ct::Wiped<JacobianPoint> q;
  q.value = kernels()->mul_point(k, p);
  encode_jacobian(out, q.value);
}

void derive_public_key(uint8_t pub[kPointSize], const uint8_t d[kPrivateKeySize]) {
  ct::Wiped<Scalar> s;
  s.value = scalar_from_bytes(d);
  mul_base_bytes(pub, s.value);
  ct::declassify(pub, kPointSize);  // the public key
}

}  // namespace kyber_alg::sm2
