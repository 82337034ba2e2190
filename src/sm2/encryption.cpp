#include "sm2/encryption.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "sm3/kdf.hpp"
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

// A5..A7 on the message already copied into out.c2: C3 = Hash(x2 || M || y2)
// from that copy, then C2 = M xor KDF(x2 || y2, klen) in place. kdf_zero if
// the KDF output is all zeros; out.c2 then still holds M (M xor 0).
CipherStatus seal(const CiphertextParts& out, std::size_t len, const uint8_t xy[kPointSize]) {
  check_value(out.c3, xy, out.c2, len);
  uint8_t kdf_zero = sm3::kdf_xor(out.c2, len, xy, kPointSize);
  ct::declassify(&kdf_zero, 1);  // only ever acted on by drawing a new nonce
  if (kdf_zero) {
    ct::wipe(out.c3, kHashSize);
    return CipherStatus::kdf_zero;
  }
  ct::declassify(out.c2, len);
  ct::declassify(out.c3, kHashSize);
  return CipherStatus::ok;
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
  // The message is read here and nowhere else: C2 and C3 both come from this
  // copy, so a caller's buffer changed by another thread meanwhile cannot
  // make them describe different messages.
  if (len > 0) std::memmove(out.c2, message, len);
  return seal(out, len, xy.value);  // A8: the caller's layout joins C1, C3 and C2
}

CipherStatus encrypt(const CiphertextParts& out, const uint8_t* message, std::size_t len,
                     const AffinePoint& public_key) {
  ct::Wiped<Scalar> k;
  const uint8_t* source = message;
  for (;;) {
    // A1: k uniform in [1, n - 1].
    if (!random_nonce(k.value)) return CipherStatus::random_failed;
    const CipherStatus status = encrypt_with_nonce(out, source, len, public_key, k.value);
    if (status != CipherStatus::kdf_zero) return status;
    source = out.c2;  // still M: a new nonce does not read the caller's buffer again
  }
}

CipherStatus decrypt(uint8_t* message_out, const ConstCiphertextParts& in, std::size_t len,
                     const uint8_t private_key[kPrivateKeySize]) {
  // B1, B2: C1 on the curve, not infinity (cofactor 1). decode_point reads
  // its input twice, so it gets a copy rather than the caller's buffer.
  uint8_t c1_bytes[kPointSize];
  std::memcpy(c1_bytes, in.c1, kPointSize);
  AffinePoint c1;
  switch (decode_point(c1, c1_bytes)) {
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
  // B4, B5: M' = C2 xor KDF(x2 || y2, klen). An all-zero KDF output fails
  // with C3's check below, the same status after the same work: a separate
  // report would tell whoever chose C1 something about the shared point.
  if (len > 0) std::memmove(message_out, in.c2, len);
  const uint8_t kdf_zero = sm3::kdf_xor(message_out, len, xy.value, kPointSize);
  // B6: u = Hash(x2 || M' || y2) must equal C3; compared without early exit.
  uint8_t u[kHashSize];
  check_value(u, xy.value, message_out, len);
  uint8_t match = static_cast<uint8_t>(ct::equal_mask(u, in.c3, kHashSize) & ~kdf_zero);
  ct::declassify(&match, 1);  // the caller learns whether decryption succeeded
  ct::wipe(u, sizeof u);
  if (!match) {
    ct::wipe(message_out, len);
    return CipherStatus::c3_mismatch;
  }
  return CipherStatus::ok;  // B7
}

}  // namespace kyber_alg::sm2
