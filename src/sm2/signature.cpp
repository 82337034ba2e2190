#include "sm2/signature.hpp"

#include <cstring>

#include "common/bytes.hpp"
#include "common/ct.hpp"
#include "common/os_random.hpp"
#include "sm2/base_mult.hpp"
#include "sm2/curve.hpp"
#include "sm2/double_mult_vartime.hpp"
#include "sm2/scalar_arith.hpp"
#include "sm3/sm3.hpp"

namespace kyber_alg::sm2 {

namespace {

// a, b, xG, yG of sm2p256v1, big-endian, as Z hashes them.
constexpr uint8_t kCurveConstants[128] = {
    0xff, 0xff, 0xff, 0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xfc,
    0x28, 0xe9, 0xfa, 0x9e, 0x9d, 0x9f, 0x5e, 0x34, 0x4d, 0x5a, 0x9e, 0x4b, 0xcf, 0x65, 0x09, 0xa7,
    0xf3, 0x97, 0x89, 0xf5, 0x15, 0xab, 0x8f, 0x92, 0xdd, 0xbc, 0xbd, 0x41, 0x4d, 0x94, 0x0e, 0x93,
    0x32, 0xc4, 0xae, 0x2c, 0x1f, 0x19, 0x81, 0x19, 0x5f, 0x99, 0x04, 0x46, 0x6a, 0x39, 0xc9, 0x94,
    0x8f, 0xe3, 0x0b, 0xbf, 0xf2, 0x66, 0x0b, 0xe1, 0x71, 0x5a, 0x45, 0x89, 0x33, 0x4c, 0x74, 0xc7,
    0xbc, 0x37, 0x36, 0xa2, 0xf4, 0xf6, 0x77, 0x9c, 0x59, 0xbd, 0xce, 0xe3, 0x6b, 0x69, 0x21, 0x53,
    0xd0, 0xa9, 0x87, 0x7c, 0xc6, 0x2a, 0x47, 0x40, 0x02, 0xdf, 0x32, 0xe5, 0x21, 0x39, 0xf0, 0xa0};

constexpr char kNonceLabel[] = "kyber_alg SM2 signature nonce";

// The affine x of a point as a number mod n (x < p < 2n).
Scalar x_mod_order(const AffinePoint& p) {
  const Fe x = from_montgomery(p.x);
  return order_reduce(Scalar{{x.v[0], x.v[1], x.v[2], x.v[3]}});
}

Scalar digest_mod_order(const uint8_t e[kDigestSize]) { return order_reduce(scalar_from_bytes(e)); }

uint64_t scalar_equal(const Scalar& a, const Scalar& b) {
  return ct::mask64_zero((a.v[0] ^ b.v[0]) | (a.v[1] ^ b.v[1]) | (a.v[2] ^ b.v[2]) | (a.v[3] ^ b.v[3]));
}

// INTEGER of a 32-byte big-endian value other than zero: minimal, with a zero
// byte before a first byte of 0x80 or more. Returns the bytes written.
std::size_t der_integer(uint8_t* out, const uint8_t value[32]) {
  std::size_t skip = 0;
  while (skip < 31 && value[skip] == 0) ++skip;
  const std::size_t pad = value[skip] >> 7;
  const std::size_t len = 32 - skip + pad;
  out[0] = 0x02;
  out[1] = static_cast<uint8_t>(len);
  out[2] = 0;
  std::memcpy(out + 2 + pad, value + skip, 32 - skip);
  return 2 + len;
}

}  // namespace

std::size_t signature_to_der(uint8_t der[kMaxDerSignatureSize], const uint8_t signature[kSignatureSize]) {
  std::size_t len = 2;
  len += der_integer(der + len, signature);
  len += der_integer(der + len, signature + 32);
  der[0] = 0x30;
  der[1] = static_cast<uint8_t>(len - 2);
  return len;
}

void signing_key_init(SigningKey& key, const uint8_t d[kPrivateKeySize]) {
  std::memcpy(key.d_bytes, d, kPrivateKeySize);
  key.d = scalar_from_bytes(d);
  ct::Wiped<Scalar> d_plus_one;
  d_plus_one.value = order_add(key.d, Scalar{{1, 0, 0, 0}});
  key.d_plus_one_inverse = order_invert(d_plus_one.value);
}

void user_digest(uint8_t z[kDigestSize], const uint8_t* id, std::size_t id_len,
                 const uint8_t pub[kPointSize]) {
  const uint16_t entl = static_cast<uint16_t>(id_len * 8);
  const uint8_t entl_bytes[2] = {static_cast<uint8_t>(entl >> 8), static_cast<uint8_t>(entl)};
  sm3::State state;
  sm3::init(state);
  sm3::update(state, entl_bytes, 2);
  sm3::update(state, id, id_len);
  sm3::update(state, kCurveConstants, sizeof kCurveConstants);
  sm3::update(state, pub, kPointSize);
  sm3::finish(state, z);
}

void message_digest(uint8_t e[kDigestSize], const uint8_t z[kDigestSize], const uint8_t* message,
                    std::size_t len) {
  ct::Wiped<sm3::State> state;
  sm3::init(state.value);
  sm3::update(state.value, z, kDigestSize);
  sm3::update(state.value, message, len);
  sm3::finish(state.value, e);
}

bool sign_with_nonce(uint8_t signature[kSignatureSize], const uint8_t e[kDigestSize], const SigningKey& key,
                     const Scalar& k) {
  // A4: (x1, y1) = [k]G.
  ct::Wiped<AffinePoint> p1;
  {
    ct::Wiped<JacobianPoint> j;
    j.value = mul_base(k);
    p1.value = to_affine(j.value);
  }
  // A5: r = (e + x1) mod n; published, so its checks may branch.
  Scalar r = order_add(digest_mod_order(e), x_mod_order(p1.value));
  ct::declassify(&r, sizeof r);
  if (order_is_zero(r)) return false;
  uint64_t r_plus_k_is_n = order_is_zero(order_add(r, k));
  ct::declassify(&r_plus_k_is_n, sizeof r_plus_k_is_n);  // only ever acted on by a new nonce
  if (r_plus_k_is_n) return false;
  // A6: s = (1 + d)^-1 (k - r d) = (1 + d)^-1 (k + r) - r.
  ct::Wiped<Scalar> k_plus_r;
  k_plus_r.value = order_add(k, r);
  Scalar s = order_sub(order_mul(key.d_plus_one_inverse, k_plus_r.value), r);
  ct::declassify(&s, sizeof s);  // published
  if (order_is_zero(s)) return false;
  scalar_to_bytes(signature, r);
  scalar_to_bytes(signature + 32, s);
  return true;
}

Scalar hedged_nonce(const uint8_t random[32], const SigningKey& key, const uint8_t e[kDigestSize],
                    uint32_t& attempt) {
  ct::Wiped<sm3::State> state;
  ct::Wiped<uint8_t[32]> candidate;
  for (;;) {
    uint8_t counter[4];
    store_be32(counter, attempt++);
    sm3::init(state.value);
    sm3::update(state.value, reinterpret_cast<const uint8_t*>(kNonceLabel), sizeof kNonceLabel - 1);
    sm3::update(state.value, random, 32);
    sm3::update(state.value, key.d_bytes, kPrivateKeySize);
    sm3::update(state.value, e, kDigestSize);
    sm3::update(state.value, counter, 4);
    sm3::finish(state.value, candidate.value);
    const Scalar k = scalar_from_bytes(candidate.value);
    // Rejection says nothing about the value finally used, so the decision may branch.
    uint64_t ok = scalar_is_nonce(k);
    ct::declassify(&ok, sizeof ok);
    if (ok) return k;
  }
}

bool sign_digest(uint8_t signature[kSignatureSize], const uint8_t e[kDigestSize], const SigningKey& key) {
  // A3: k from fresh OS randomness, hedged with d and e.
  ct::Wiped<uint8_t[32]> random;
  if (!os_random(random.value, sizeof random.value)) return false;
  ct::classify(random.value, sizeof random.value);
  ct::Wiped<Scalar> k;
  uint32_t attempt = 0;
  do {
    k.value = hedged_nonce(random.value, key, e, attempt);
  } while (!sign_with_nonce(signature, e, key, k.value));
  return true;
}

bool verify_digest(const uint8_t signature[kSignatureSize], const uint8_t e[kDigestSize],
                   const AffinePoint& public_key) {
  // B1, B2: r and s in [1, n - 1].
  const Scalar r = scalar_from_bytes(signature), s = scalar_from_bytes(signature + 32);
  if (!scalar_is_nonce(r) || !scalar_is_nonce(s)) return false;
  // B5: t = (r + s) mod n, not zero.
  const Scalar t = order_add(r, s);
  if (order_is_zero(t)) return false;
  // B6: (x1, y1) = [s]G + [t]PA, not the point at infinity.
  AffinePoint sum;
  if (!double_base_mult(s, t, public_key, sum)) return false;
  // B7: R = (e + x1) mod n must equal r.
  const Scalar expected = order_add(digest_mod_order(e), x_mod_order(sum));
  return scalar_equal(expected, r) != 0;
}

}  // namespace kyber_alg::sm2
