#include "sm2/encryption.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "sm2/kdf.hpp"
#include "sm3/sm3.hpp"

namespace kyber_alg::sm2 {

namespace {

// Hash(x2 || M || y2).
void check_value(uint8_t out[kHashSize], const uint8_t xy[kPointSize], const uint8_t* message,
                 std::size_t len) {
  ct::Wiped<sm3::State> state;
  sm3::init(state.value);
  sm3::update(state.value, xy, 32);
  sm3::update(state.value, message, len);
  sm3::update(state.value, xy + 32, 32);
  sm3::finish(state.value, out);
}

}  // namespace

CipherStatus encrypt_with_nonce(const CiphertextParts& out, const uint8_t* message, std::size_t len,
                                const AffinePoint& public_key, const Scalar& k) {
  // A2: C1 = [k]G.
  mul_base_bytes(out.c1, k);
  ct::declassify(out.c1, kPointSize);  // published
  // A4: (x2, y2) = [k]PB.
  ct::Wiped<uint8_t[kPointSize]> xy;
  mul_point_bytes(xy.value, k, public_key);
  // A5, A6: C2 = M xor KDF(x2 || y2, klen), refused if the KDF output is all zeros.
  if (len > 0) std::memmove(out.c2, message, len);
  uint8_t kdf_zero = kdf_xor(out.c2, len, xy.value, kPointSize);
  ct::declassify(&kdf_zero, 1);  // only ever acted on by drawing a new nonce
  if (kdf_zero) {
    ct::wipe(out.c2, len);
    return CipherStatus::kdf_zero;
  }
  // A7: C3 = Hash(x2 || M || y2).
  check_value(out.c3, xy.value, message, len);
  ct::declassify(out.c2, len);
  ct::declassify(out.c3, kHashSize);
  return CipherStatus::ok;  // A8: the caller's layout joins C1, C3 and C2
}

CipherStatus encrypt(const CiphertextParts& out, const uint8_t* message, std::size_t len,
                     const AffinePoint& public_key) {
  ct::Wiped<Scalar> k;
  for (;;) {
    // A1: k uniform in [1, n - 1].
    if (!random_nonce(k.value)) return CipherStatus::random_failed;
    const CipherStatus status = encrypt_with_nonce(out, message, len, public_key, k.value);
    if (status != CipherStatus::kdf_zero) return status;
  }
}

CipherStatus decrypt(uint8_t* message_out, const ConstCiphertextParts& in, std::size_t len,
                     const uint8_t private_key[kPrivateKeySize]) {
  // B1, B2: C1 on the curve, not infinity (cofactor 1).
  AffinePoint c1;
  switch (decode_point(c1, in.c1)) {
    case PointCheck::infinity:
      return CipherStatus::c1_infinity;
    case PointCheck::not_on_curve:
      return CipherStatus::c1_not_on_curve;
    case PointCheck::ok:
      break;
  }
  // B3: (x2, y2) = [dB]C1.
  ct::Wiped<uint8_t[kPointSize]> xy;
  {
    ct::Wiped<Scalar> d;
    d.value = scalar_from_bytes(private_key);
    mul_point_bytes(xy.value, d.value, c1);
  }
  // B4, B5: M' = C2 xor KDF(x2 || y2, klen); an all-zero KDF output is an error.
  if (len > 0) std::memmove(message_out, in.c2, len);
  uint8_t kdf_zero = kdf_xor(message_out, len, xy.value, kPointSize);
  ct::declassify(&kdf_zero, 1);
  if (kdf_zero) {
    ct::wipe(message_out, len);
    return CipherStatus::kdf_zero;
  }
  // B6: u = Hash(x2 || M' || y2) must equal C3; compared without early exit.
  uint8_t u[kHashSize];
  check_value(u, xy.value, message_out, len);
  uint8_t match = ct::equal_mask(u, in.c3, kHashSize);
  ct::declassify(&match, 1);  // the caller learns whether decryption succeeded
  ct::wipe(u, sizeof u);
  if (!match) {
    ct::wipe(message_out, len);
    return CipherStatus::c3_mismatch;
  }
  return CipherStatus::ok;  // B7
}

}  // namespace kyber_alg::sm2
