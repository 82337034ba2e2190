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
// portable or avx2 (exit status 77 if the CPU, or valgrind's emulated CPU,
// does not offer it); the optional
// worked example (C1 || C3 || C2 expected from the private key dB and the
// nonce k) confirms that the build under test computes the right thing. With
// --leak-self-test it branches on a secret on purpose, to show that the
// harness catches that. With --inverse-check (run without valgrind) it checks
// the field inversion on edge and random inputs: a * (1/a) = 1, and 1/0 = 0.
// With `api` in place of rounds it runs what kyber_alg._sm2 adds: signing
// (key preparation with the inversion mod n, the hedged nonce, a given nonce),
// ECDH, the key exchange in both roles, and decryption with a prepared key.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../../ct/ctgrind.hpp"
#include "sm2/base_mult.hpp"
#include "sm2/encryption.hpp"
#include "sm2/exchange.hpp"
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

// A caller-given secret nonce, including n - 6, where the last addition of
// the windowed k*P meets equal points and takes the complete formula's
// doubling branch (as masks, not as a jump).
int fixed_nonces() {
  uint8_t d[32];
  sm2::AffinePoint public_point;
  if (!keygen(d, public_point)) return 2;
  uint8_t k_bytes[32] = {0xff, 0xff, 0xff, 0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                         0xff, 0xff, 0xff, 0xff, 0xff, 0x72, 0x03, 0xdf, 0x6b, 0x21, 0xc6,
                         0x05, 0x2b, 0x53, 0xbb, 0xf4, 0x09, 0x39, 0xd5, 0x41, 0x1d};
  uint8_t message[kMessageSize] = {1, 2, 3};
  for (int i = 0; i < 2; ++i) {
    if (i == 1 && !fill_random(k_bytes, 32)) return 2;
    secret(k_bytes, 32);
    secret(message, sizeof message);
    const sm2::Scalar k = sm2::scalar_from_bytes(k_bytes);
    uint8_t c[sm2::kCiphertextOverhead + kMessageSize];
    const sm2::CiphertextParts parts{c, c + 64, c + 96};
    const sm2::CipherStatus status = sm2::encrypt_with_nonce(parts, message, kMessageSize, public_point, k);
    // A random 32-byte k may be >= n (not a valid nonce); only the run matters then.
    if (i == 0 && status != sm2::CipherStatus::ok) return 8;
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

// a * fe_invert_plain(a) == 1 for plain a (two Montgomery multiplications
// bring the product back to plain form).
bool inverse_holds(const sm2::Fe& a) {
  const sm2::Fe inverse = sm2::fe_invert_plain(a);
  const sm2::Fe product = sm2::fe_mul(sm2::fe_mul(a, inverse), sm2::kRSquared);
  return sm2::fe_is_canonical(inverse) && sm2::fe_equal(product, sm2::Fe{{1, 0, 0, 0}});
}

int inverse_check() {
  const sm2::Fe zero = sm2::fe_invert_plain(sm2::Fe{{0, 0, 0, 0}});
  if (!sm2::fe_is_zero(zero)) return 20;
  sm2::Fe minus_one = sm2::kPrime, minus_two = sm2::kPrime;
  minus_one.v[0] -= 1, minus_two.v[0] -= 2;
  const sm2::Fe edges[] = {{{1, 0, 0, 0}},
                           {{2, 0, 0, 0}},
                           {{3, 0, 0, 0}},
                           minus_one,
                           minus_two,
                           {{0, 0, 0, uint64_t{1} << 63}},
                           {{~uint64_t{0}, ~uint64_t{0}, ~uint64_t{0}, 0x7fffffffffffffff}},
                           {{0, 0, 0, 0xfffffffe00000000}},
                           {{~uint64_t{0}, 0, 0, 0}},
                           {{0, 1, 0, 0}},
                           {{0, 0, 0, 1}},
                           sm2::kOne,
                           sm2::kRSquared,
                           sm2::kRCubed};
  for (const sm2::Fe& a : edges)
    if (!inverse_holds(a)) return 21;
  // Random numbers below p, some shortened to test small and sparse inputs.
  for (int i = 0; i < 20000; ++i) {
    sm2::Fe a;
    if (!fill_random(reinterpret_cast<uint8_t*>(a.v), sizeof a.v)) return 2;
    const int kind = i % 4;
    if (kind == 1) a.v[3] >>= a.v[0] % 64;
    if (kind == 2) a.v[3] = 0, a.v[2] >>= a.v[0] % 64;
    if (kind == 3) a = sm2::kPrime, a.v[0] -= 1 + i % 1000;
    if (!sm2::fe_is_canonical(a) || sm2::fe_is_zero(a)) continue;
    if (!inverse_holds(a)) return 22;
  }
  std::printf("inverses check out\n");
  return 0;
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
  if (argc > 1 && std::strcmp(argv[1], "--inverse-check") == 0) return inverse_check();
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
