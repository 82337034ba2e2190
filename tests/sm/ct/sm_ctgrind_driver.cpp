// Constant-time check of SM4 (with its modes) and SM3 (with HMAC and the key
// derivations) under valgrind memcheck (the ctgrind technique).
//
// The SM4 key, the plaintext and the hashed message are marked undefined, and
// so are the digest and private key that pass through the hex codec.
// Memcheck then reports every conditional branch and every memory address
// that depends on them. Ciphertexts are public and are marked defined where
// they are produced; the padding check declassifies only its result.
//
// The modes: keys, plaintexts, passwords and input keying material are
// secret; nonces, associated data, ciphertexts and tags public. That covers
// GHASH (its key H = E_K(0) is secret), the counter mode, CCM's CBC-MAC, the
// tag comparisons (only their verdicts are made public), and HMAC, PBKDF2,
// HKDF and the KDF.
//
// Usage:
//   sm_ctgrind_driver portable|avx2|avx512   checks that code path (exit code
//       77 if the CPU, or valgrind's emulated CPU, does not offer it)
//   sm_ctgrind_driver --round-keys PATH HEX  prints the 32 round keys of a key
//   sm_ctgrind_driver --leak-self-test       branches on a secret on purpose
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "../../ct/ctgrind.hpp"
#include "common/hex.hpp"
#include "sm3/hkdf.hpp"
#include "sm3/hmac.hpp"
#include "sm3/kdf.hpp"
#include "sm3/kernels.hpp"
#include "sm3/pbkdf2.hpp"
#include "sm3/sm3.hpp"
#include "sm4/ccm.hpp"
#include "sm4/ctr.hpp"
#include "sm4/gcm.hpp"
#include "sm4/kernels.hpp"
#include "sm4/padding.hpp"
#include "sm4/sm4.hpp"

namespace sm3 = kyber_alg::sm3;
namespace sm4 = kyber_alg::sm4;
using ctgrind::fill_random;
using ctgrind::make_public;
using ctgrind::parse_backend;
using ctgrind::secret;

namespace {

// 11 blocks: one group of eight on the parallel paths and a partial group.
constexpr std::size_t kBlocks = 11;
constexpr std::size_t kBytes = kBlocks * sm4::kBlockSize;

int sm4_round_trip() {
  uint8_t key[16], wrong_key[16], iv[16], plain[kBytes];
  if (!fill_random(key, 16) || !fill_random(wrong_key, 16) || !fill_random(iv, 16) ||
      !fill_random(plain, kBytes))
    return 2;
  plain[kBytes - 1] = 0x01;  // a valid PKCS#7 ending, and (once zeroed) a valid zero-padding ending
  secret(key, 16), secret(wrong_key, 16), secret(plain, kBytes);

  sm4::RoundKeys enc, dec, wrong_dec;
  sm4::expand_key(key, enc);
  sm4::reverse_keys(enc, dec);
  sm4::expand_key(wrong_key, wrong_dec);
  sm4::reverse_keys(wrong_dec, wrong_dec);

  uint8_t ecb_ct[kBytes], cbc_ct[kBytes], back[kBytes];
  sm4::ecb(enc, plain, ecb_ct, kBlocks);
  make_public(ecb_ct, kBytes);
  uint8_t chain[16];
  std::memcpy(chain, iv, 16);
  sm4::cbc_encrypt(enc, chain, plain, cbc_ct, kBlocks);
  make_public(cbc_ct, kBytes);

  std::memcpy(chain, iv, 16);
  sm4::cbc_decrypt(dec, chain, cbc_ct, back, kBlocks);
  const std::size_t pad = sm4::padding_length(back, kBytes, sm4::Padding::pkcs7);
  // Wrong key: the padding check sees random data (valid or not, it may not branch).
  uint8_t garbage[kBytes];
  std::memcpy(chain, iv, 16);
  sm4::cbc_decrypt(wrong_dec, chain, cbc_ct, garbage, kBlocks);
  (void)sm4::padding_length(garbage, kBytes, sm4::Padding::pkcs7);
  (void)sm4::padding_length(garbage, kBytes, sm4::Padding::zero);
  sm4::ecb(dec, ecb_ct, garbage, kBlocks);
  garbage[kBytes - 1] = 0;
  (void)sm4::padding_length(garbage, kBytes, sm4::Padding::zero);

  // Checked here only to confirm the run computed the right thing.
  make_public(back, kBytes), make_public(plain, kBytes), make_public(garbage, kBytes);
  if (pad != 1) return 3;
  if (std::memcmp(back, plain, kBytes) != 0) return 4;
  std::memcpy(garbage, plain, kBytes);
  garbage[kBytes - 1] = 0;
  if (std::memcmp(garbage, plain, kBytes - 1) != 0) return 5;
  return 0;
}

int sm3_secret_message() {
  uint8_t message[200], digest[32], again[32];
  if (!fill_random(message, sizeof message)) return 2;
  secret(message, sizeof message);
  sm3::hash(message, sizeof message, digest);
  sm3::State state;
  sm3::init(state);
  sm3::update(state, message, 70);
  sm3::update(state, message + 70, sizeof message - 70);
  sm3::finish(state, again);
  make_public(digest, 32), make_public(again, 32);
  return std::memcmp(digest, again, 32) == 0 ? 0 : 6;
}

// Hexadecimal text of secrets, through the codec the modules share:
// SM3.hexdigest() encodes a digest (Velmora makes a key of it), and SM2
// decodes a private key given as text, with or without whitespace between
// the pairs of digits.
int hex_of_secrets() {
  uint8_t key[32], digest[32], back[32], spaced_back[32];
  if (!fill_random(key, sizeof key)) return 2;
  secret(key, sizeof key);
  sm3::hash(key, sizeof key, digest);
  char text[64];
  kyber_alg::hex::encode(text, digest, sizeof digest);
  uint8_t spaced[96];
  for (std::size_t i = 0; i < 32; ++i) {
    spaced[3 * i] = static_cast<uint8_t>(text[2 * i]);
    spaced[3 * i + 1] = static_cast<uint8_t>(text[2 * i + 1]);
    spaced[3 * i + 2] = ' ';
  }
  std::size_t error_at = 0;
  if (!kyber_alg::hex::decode(back, text, sizeof back)) return 7;
  if (kyber_alg::hex::decode_text(back, reinterpret_cast<const uint8_t*>(text), sizeof text, error_at) != 32)
    return 8;
  if (kyber_alg::hex::decode_text(spaced_back, spaced, sizeof spaced, error_at) != 32) return 9;
  make_public(digest, 32), make_public(back, 32), make_public(spaced_back, 32);
  if (std::memcmp(back, digest, 32) != 0 || std::memcmp(spaced_back, digest, 32) != 0) return 10;
  return 0;
}

// 21 blocks and a partial one: two groups of eight on the vector path, a
// partial group, and a partial block.
// Modes: 21 blocks and a partial one (two groups of eight on the vector
// path, a partial group, and a partial block).
constexpr std::size_t kLen = 21 * 16 + 5;

int gcm_round_trip(std::size_t nonce_len) {
  uint8_t key[16], nonce[40], ad[37], plain[kLen], sealed[kLen + 16], opened[kLen];
  if (!fill_random(key, 16) || !fill_random(nonce, sizeof nonce) || !fill_random(ad, sizeof ad) ||
      !fill_random(plain, kLen))
    return 2;
  secret(key, 16), secret(plain, kLen);
  sm4::GcmKey gcm;
  sm4::gcm_init(gcm, key);
  sm4::gcm_seal(gcm, nonce, nonce_len, ad, sizeof ad, plain, kLen, sealed);
  make_public(sealed, sizeof sealed);  // ciphertext and tag are sent
  std::memcpy(opened, sealed, kLen);
  if (!sm4::gcm_open(gcm, nonce, nonce_len, ad, sizeof ad, opened, kLen, sealed + kLen)) return 3;
  // A changed tag: the comparison and the failure path on a secret-keyed state.
  sealed[kLen + 3] ^= 1;
  std::memcpy(opened, sealed, kLen);
  if (sm4::gcm_open(gcm, nonce, nonce_len, ad, sizeof ad, opened, kLen, sealed + kLen)) return 4;
  return 0;
}

int ccm_round_trip(std::size_t nonce_len, std::size_t tag_len) {
  uint8_t key[16], nonce[13], ad[300], data[kLen], tag[16];
  if (!fill_random(key, 16) || !fill_random(nonce, sizeof nonce) || !fill_random(ad, sizeof ad) ||
      !fill_random(data, kLen))
    return 2;
  secret(key, 16), secret(data, kLen);
  sm4::RoundKeys keys;
  sm4::expand_key(key, keys);
  sm4::ccm_seal(keys, nonce, nonce_len, ad, sizeof ad, data, kLen, tag, tag_len);
  make_public(data, kLen), make_public(tag, tag_len);
  if (!sm4::ccm_open(keys, nonce, nonce_len, ad, sizeof ad, data, kLen, tag, tag_len)) return 5;
  std::memset(data, 0, kLen);  // the wrong ciphertext: opening must fail without branching on secrets
  if (sm4::ccm_open(keys, nonce, nonce_len, ad, sizeof ad, data, kLen, tag, tag_len)) return 6;
  return 0;
}

int ctr_and_padding() {
  uint8_t key[16], iv[16], plain[kLen], out[kLen];
  if (!fill_random(key, 16) || !fill_random(iv, 16) || !fill_random(plain, kLen)) return 2;
  iv[12] = iv[13] = iv[14] = 0xff;  // the low word wraps inside the message
  secret(key, 16), secret(plain, kLen);
  sm4::CtrStream stream;
  sm4::ctr_stream_init(stream, key, iv);
  sm4::ctr_stream_xor(stream, plain, out, 7);
  sm4::ctr_stream_xor(stream, plain + 7, out + 7, kLen - 7);
  // ISO/IEC 9797-1 method 2 on secret data, valid and not.
  uint8_t block[16];
  sm4::pad_last_block(plain, 9, sm4::Padding::iso9797_m2, block);
  make_public(out, kLen);
  if (sm4::padding_length(block, 16, sm4::Padding::iso9797_m2) != 7) return 7;
  (void)sm4::padding_length(plain, 16, sm4::Padding::iso9797_m2);
  return 0;
}

int sm3_derivations() {
  uint8_t key[100], msg[150], out[200], again[200];
  if (!fill_random(key, sizeof key) || !fill_random(msg, sizeof msg)) return 2;
  secret(key, sizeof key), secret(msg, sizeof msg);
  for (std::size_t key_len : {std::size_t{20}, std::size_t{100}}) {
    sm3::HmacKey hmac_key;
    sm3::hmac_init(hmac_key, key, key_len);
    sm3::hmac(hmac_key, msg, sizeof msg, out);
    // kyber_alg.sm3.HMAC: a copy of the keyed state, the message in pieces, then the finish.
    sm3::State inner = hmac_key.inner;
    sm3::update(inner, msg, 7);
    sm3::update(inner, msg + 7, sizeof msg - 7);
    sm3::hmac_finish(hmac_key, inner, again);
  }
  sm3::pbkdf2_hmac(key, 12, msg, 16, 3, out, 70);  // password secret; salt too here, which is stricter
  uint8_t prk[32];
  sm3::hkdf_extract(msg, 10, key, sizeof key, prk);
  sm3::hkdf_expand(prk, sizeof prk, msg, 20, out, 100);
  sm3::kdf(key, 64, again, 200);
  const uint8_t zero = sm3::kdf_xor(out, 50, key, 64);
  make_public(&zero, 1), make_public(out, sizeof out), make_public(again, sizeof again);
  return zero == 0 ? 0 : 8;
}

int modes_and_derivations() {
  for (std::size_t nonce_len : {std::size_t{12}, std::size_t{1}, std::size_t{40}})
    if (const int rc = gcm_round_trip(nonce_len); rc != 0) return rc;
  for (std::size_t tag_len : {std::size_t{4}, std::size_t{16}})
    if (const int rc = ccm_round_trip(13 - tag_len / 4, tag_len); rc != 0) return rc;
  if (const int rc = ctr_and_padding(); rc != 0) return rc;
  return sm3_derivations();
}

int print_round_keys(const char* hex) {
  uint8_t key[16];
  for (int i = 0; i < 16; ++i)
    if (std::sscanf(hex + 2 * i, "%2hhx", &key[i]) != 1) return 2;
  sm4::RoundKeys rk;
  sm4::expand_key(key, rk);
  for (uint32_t k : rk.rk) std::printf("%08x\n", k);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 3 && std::strcmp(argv[1], "--round-keys") == 0) {
    if (!sm4::kernels().select(parse_backend(argv[2]))) return ctgrind::kPathUnavailable;
    return print_round_keys(argv[3]);
  }
  const int rc = ctgrind::start(
      argc, argv, [](kyber_alg::Backend b) { return sm4::kernels().select(b) && sm3::kernels().select(b); });
  if (rc != ctgrind::kGoOn) return rc;
  const char* path = ctgrind::path_argument(argc, argv);
  for (int i = 0; i < 2; ++i) {
    if (const int rc = sm4_round_trip(); rc != 0) {
      std::fprintf(stderr, "SM4 round trip %d failed with code %d\n", i, rc);
      return rc;
    }
    if (const int rc = sm3_secret_message(); rc != 0) {
      std::fprintf(stderr, "SM3 run %d failed with code %d\n", i, rc);
      return rc;
    }
    if (const int rc = hex_of_secrets(); rc != 0) {
      std::fprintf(stderr, "hex run %d failed with code %d\n", i, rc);
      return rc;
    }
  }
  if (const int rc = modes_and_derivations(); rc != 0) {
    std::fprintf(stderr, "SM4 modes / SM3 derivations failed with code %d\n", rc);
    return rc;
  }
  std::printf(
      "ctgrind driver: hex of secrets, SM4 key expansion, ECB, CBC, padding checks and SM3 done; GCM, CCM, "
      "CTR, HMAC, "
      "PBKDF2, HKDF, KDF done (%s)\n",
      path);
  return 0;
}
