// Constant-time check of SM2 under valgrind memcheck (the ctgrind technique).
//
// Private keys, nonces and messages are marked undefined (the library marks
// what it draws from the OS itself, in KYBER_ALG_CTGRIND builds); memcheck then
// reports every branch and memory address that depends on them. The library
// declassifies what SM2 publishes (public keys, C1, C2, C3) and the outcome of
// its checks (key in range, KDF not all zero, C3 match). Exit status 0 and no
// memcheck errors = clean.
//
// Usage: ctgrind_driver path rounds [dB k message expected] (hex): path is
// portable or adx (exit status 77 if the CPU, or valgrind's emulated CPU,
// does not offer it); the optional worked example (C1 || C3 || C2 expected
// from the private key dB and the nonce k) confirms that the build under test
// computes the right thing. With --leak-self-test it branches on a secret on
// purpose, to show that the harness catches that. (The field inversion has a
// unit test of its own: tests/sm/native/field_invert_driver.cpp.) With `api`
// in place of rounds it runs what kyber_alg._sm2 adds: signing (key
// preparation with the inversion mod n, the hedged nonce, a given nonce),
// ECDH, the key exchange in both roles, and decryption with a prepared key.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../../ct/ctgrind.hpp"
#include "sm2/base_mult.hpp"
#include "sm2/ecdh.hpp"
#include "sm2/encryption.hpp"
#include "sm2/field.hpp"
#include "sm2/kernels.hpp"
#include "sm2/key_exchange.hpp"
#include "sm2/keys.hpp"
#include "sm2/signature.hpp"

namespace sm2 = kyber_alg::sm2;
namespace ct = kyber_alg::ct;
using ctgrind::fill_random;
using ctgrind::make_public;
using ctgrind::secret;

namespace {

constexpr std::size_t kMessageSize = 32;

// Key generation as generate_keypair() runs it; returns the public point.
bool keygen(uint8_t d[32], sm2::AffinePoint& public_point) {
  if (!sm2::random_private_key(d)) return false;
  uint8_t pub[64];
  sm2::derive_public_key(pub, d);  // pub is declassified by the library
  return sm2::decode_point(public_point, pub) == sm2::PointCheck::ok;
}

int round_trip() {
  uint8_t d[32];
  sm2::AffinePoint public_point;
  if (!keygen(d, public_point)) return 2;

  uint8_t message[kMessageSize];
  if (!fill_random(message, sizeof message)) return 2;
  secret(message, sizeof message);  // Velmora encrypts a secret key share

  uint8_t c[sm2::kCiphertextOverhead + kMessageSize];
  const sm2::CiphertextParts parts{c, c + 64, c + 96};
  if (sm2::encrypt(parts, message, kMessageSize, public_point) != sm2::CipherStatus::ok) return 3;

  // Decryption with a private key given by the caller (the module copies it in).
  uint8_t d_in[32];
  std::memcpy(d_in, d, 32);
  secret(d_in, 32);
  if (!sm2::private_key_in_range(d_in)) return 4;
  uint8_t out[kMessageSize];
  const sm2::ConstCiphertextParts in{c, c + 64, c + 96};
  if (sm2::decrypt(out, in, kMessageSize, d_in) != sm2::CipherStatus::ok) return 5;

  // The rejecting path (C3 mismatch) handles the same secrets.
  c[100] ^= 1;
  uint8_t rejected[kMessageSize];
  if (sm2::decrypt(rejected, in, kMessageSize, d_in) != sm2::CipherStatus::c3_mismatch) return 6;

  make_public(message, sizeof message), make_public(out, sizeof out);
  if (std::memcmp(message, out, kMessageSize) != 0) return 7;
  return 0;
}

// Caller-given secret nonces: n - 6, where the last addition of k*P meets
// equal points, and the one where k*G's two chains of rows end at equal
// points (tests/sm/test_sm2_vectors.py derives it); both take the complete
// additions' doubling branch (as masks, not as a jump). Then a random one.
int fixed_nonces() {
  uint8_t d[32];
  sm2::AffinePoint public_point;
  if (!keygen(d, public_point)) return 2;
  const uint8_t fixed[2][32] = {
      {0xff, 0xff, 0xff, 0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
       0x72, 0x03, 0xdf, 0x6b, 0x21, 0xc6, 0x05, 0x2b, 0x53, 0xbb, 0xf4, 0x09, 0x39, 0xd5, 0x41, 0x1d},
      {0xe0, 0x3f, 0x80, 0xff, 0x03, 0xf8, 0x0f, 0xe0, 0x3f, 0x80, 0xfe, 0x03, 0xf8, 0x0f, 0xe0, 0x3f,
       0x0d, 0x02, 0x23, 0x6c, 0xd1, 0xd9, 0xc5, 0x54, 0x52, 0x47, 0xf3, 0xf9, 0x26, 0x15, 0x3e, 0x23}};
  uint8_t message[kMessageSize] = {1, 2, 3};
  for (int i = 0; i < 3; ++i) {
    uint8_t k_bytes[32];
    if (i < 2)
      std::memcpy(k_bytes, fixed[i], 32);
    else if (!fill_random(k_bytes, 32))
      return 2;
    secret(k_bytes, 32);
    secret(message, sizeof message);
    const sm2::Scalar k = sm2::scalar_from_bytes(k_bytes);
    uint8_t c[sm2::kCiphertextOverhead + kMessageSize];
    const sm2::CiphertextParts parts{c, c + 64, c + 96};
    const sm2::CipherStatus status = sm2::encrypt_with_nonce(parts, message, kMessageSize, public_point, k);
    // A random 32-byte k may be >= n (not a valid nonce); only the run matters then.
    if (i < 2 && status != sm2::CipherStatus::ok) return 8;
  }
  return 0;
}

bool from_hex(std::vector<uint8_t>& out, const char* hex) {
  const std::size_t len = std::strlen(hex);
  if (len % 2) return false;
  out.resize(len / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned byte;
    if (std::sscanf(hex + 2 * i, "%2x", &byte) != 1) return false;
    out[i] = static_cast<uint8_t>(byte);
  }
  return true;
}

// Public key, then encryption with the given nonce, both with secrets marked.
int worked_example(char** hex) {
  std::vector<uint8_t> d, k, message, expected;
  if (!from_hex(d, hex[0]) || !from_hex(k, hex[1]) || !from_hex(message, hex[2]) ||
      !from_hex(expected, hex[3]))
    return 9;
  if (d.size() != 32 || k.size() != 32 || expected.size() != sm2::kCiphertextOverhead + message.size())
    return 9;
  secret(d.data(), 32), secret(k.data(), 32), secret(message.data(), message.size());
  uint8_t pub[64];
  sm2::derive_public_key(pub, d.data());
  sm2::AffinePoint public_point;
  if (sm2::decode_point(public_point, pub) != sm2::PointCheck::ok) return 10;
  std::vector<uint8_t> c(expected.size());
  const sm2::CiphertextParts parts{c.data(), c.data() + 64, c.data() + 96};
  const sm2::Scalar nonce = sm2::scalar_from_bytes(k.data());
  if (sm2::encrypt_with_nonce(parts, message.data(), message.size(), public_point, nonce) !=
      sm2::CipherStatus::ok)
    return 11;
  return c == expected ? 0 : 12;
}

// A key pair with d marked secret and the public point decoded (public).
bool secret_key(uint8_t d[32], sm2::AffinePoint& public_point, uint8_t pub[64]) {
  if (!sm2::random_private_key(d)) return false;
  sm2::derive_public_key(pub, d);
  secret(d, 32);
  return sm2::decode_point(public_point, pub) == sm2::PointCheck::ok;
}

int signing() {
  uint8_t d[32], pub[64];
  sm2::AffinePoint public_point;
  if (!secret_key(d, public_point, pub)) return 30;
  sm2::SigningKey key;
  sm2::signing_key_init(key, d);
  uint8_t e[32], signature[64];
  if (!fill_random(e, sizeof e)) return 2;
  secret(e, sizeof e);  // the digest of a secret message
  if (!sm2::sign_digest(signature, e, key)) return 31;
  // The DER encoding the Python API returns (of the published r and s).
  uint8_t der[sm2::kMaxDerSignatureSize];
  if (sm2::signature_to_der(der, signature) < 8) return 34;
  uint8_t k_bytes[32];
  if (!fill_random(k_bytes, sizeof k_bytes)) return 2;
  k_bytes[0] &= 0x7f;  // below n
  secret(k_bytes, sizeof k_bytes);
  uint8_t given[64];
  if (!sm2::sign_with_nonce(given, e, key, sm2::scalar_from_bytes(k_bytes))) return 32;
  // Verification works on public values only.
  make_public(e, sizeof e);
  if (!sm2::verify_digest(signature, e, public_point) || !sm2::verify_digest(given, e, public_point))
    return 33;
  ct::wipe_object(key);
  return 0;
}

int ecdh() {
  uint8_t da[32], db[32], pa[64], pb[64];
  sm2::AffinePoint a, b;
  if (!secret_key(da, a, pa) || !secret_key(db, b, pb)) return 40;
  uint8_t ab[32], ba[32];
  sm2::ecdh_shared_x(ab, sm2::scalar_from_bytes(da), b);
  sm2::ecdh_shared_x(ba, sm2::scalar_from_bytes(db), a);
  make_public(ab, 32), make_public(ba, 32);
  return std::memcmp(ab, ba, 32) == 0 ? 0 : 41;
}

int key_exchange() {
  uint8_t d[2][32], r[2][32], p[2][64], rp[2][64];
  sm2::AffinePoint statics[2], ephemerals[2];
  for (int i = 0; i < 2; ++i)
    if (!secret_key(d[i], statics[i], p[i]) || !secret_key(r[i], ephemerals[i], rp[i])) return 50;
  uint8_t za[32], zb[32];
  sm2::user_digest(za, nullptr, 0, p[0]);
  sm2::user_digest(zb, nullptr, 0, p[1]);
  uint8_t key[2][48], own[2][32], peer[2][32];
  for (int i = 0; i < 2; ++i) {
    const sm2::KeyExchangeInput in{i == 0,
                                   sm2::scalar_from_bytes(d[i]),
                                   sm2::scalar_from_bytes(r[i]),
                                   ephemerals[i],
                                   statics[1 - i],
                                   ephemerals[1 - i],
                                   za,
                                   zb};
    if (sm2::key_exchange(in, key[i], sizeof key[i], own[i], peer[i]) != sm2::KeyExchangeStatus::ok)
      return 51;
    make_public(key[i], sizeof key[i]);
  }
  const bool agree = std::memcmp(key[0], key[1], 48) == 0 && std::memcmp(own[0], peer[1], 32) == 0 &&
                     std::memcmp(own[1], peer[0], 32) == 0;
  return agree ? 0 : 52;
}

// Decryption with the private key bytes a prepared key object keeps.
int prepared_decryption() {
  uint8_t d[32], pub[64];
  sm2::AffinePoint public_point;
  if (!secret_key(d, public_point, pub)) return 60;
  uint8_t message[kMessageSize] = {7}, c[sm2::kCiphertextOverhead + kMessageSize], out[kMessageSize];
  secret(message, sizeof message);
  if (sm2::encrypt({c, c + 64 + 32, c + 64}, message, kMessageSize, public_point) != sm2::CipherStatus::ok)
    return 61;
  sm2::SigningKey key;
  sm2::signing_key_init(key, d);
  if (sm2::decrypt(out, {c, c + 64 + kMessageSize, c + 64}, kMessageSize, key.d_bytes) !=
      sm2::CipherStatus::ok)
    return 62;
  make_public(out, sizeof out), make_public(message, sizeof message);
  return std::memcmp(out, message, kMessageSize) == 0 ? 0 : 63;
}

int api_rounds() {
  for (int i = 0; i < 2; ++i) {
    if (const int rc = signing()) return rc;
    if (const int rc = ecdh()) return rc;
    if (const int rc = key_exchange()) return rc;
    if (const int rc = prepared_decryption()) return rc;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rc = ctgrind::start(argc, argv, [](kyber_alg::Backend b) { return sm2::kernels().select(b); });
  if (rc != ctgrind::kGoOn) return rc;
  if (argc < 3) return 9;
  sm2::prepare_base_table();  // public data, built before any secret is in play
  if (std::strcmp(argv[2], "api") == 0) {
    if (const int rc = api_rounds()) return rc;
    std::printf("signing, ECDH, key exchange and decryption rounds done on the %s path\n",
                kyber_alg::backend_name(sm2::kernels().backend()));
    return 0;
  }
  const int rounds = std::atoi(argv[2]);
  if (argc > 6)
    if (const int rc = worked_example(argv + 3)) return rc;
  for (int i = 0; i < rounds; ++i)
    if (const int rc = round_trip()) return rc;
  if (const int rc = fixed_nonces()) return rc;
  std::printf("%d keygen/encrypt/decrypt rounds and the fixed nonces done on the %s path%s\n", rounds,
              kyber_alg::backend_name(sm2::kernels().backend()), argc > 6 ? ", worked example matches" : "");
  return 0;
}
