// Constant-time check of SM4 and SM3 under valgrind memcheck (the ctgrind
// technique).
//
// The SM4 key, the plaintext and the hashed message are marked undefined, and
// so are the digest and private key that pass through the hex codec.
// Memcheck then reports every conditional branch and every memory address
// that depends on them. Ciphertexts are public and are marked defined where
// they are produced; the padding check declassifies only its result.
//
// Usage:
//   sm_ctgrind_driver portable|avx2|avx512   checks that code path (exit code
//       77 if the CPU, or valgrind's emulated CPU, does not offer it)
//   sm_ctgrind_driver --round-keys PATH HEX  prints the 32 round keys of a key
//   sm_ctgrind_driver --leak-self-test       branches on a secret on purpose
#include <cstdio>
#include <cstring>

#include "../../ct/ctgrind.hpp"
#include "common/hex.hpp"
#include "sm3/kernels.hpp"
#include "sm3/sm3.hpp"
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
  std::printf(
      "ctgrind driver: hex of secrets, SM4 key expansion, ECB, CBC, padding checks and SM3 done (%s)\n",
      path);
  return 0;
}
