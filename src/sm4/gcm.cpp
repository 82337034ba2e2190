// GCM's steps (SP 800-38D, 7.1 and 7.2): H = E(0), the pre-counter block
// J0, GCTR from inc32(J0), S = GHASH(A || C || lengths), T = E(J0) ^ S.
#include "sm4/gcm.hpp"

#include <algorithm>
#include <cstring>

#include "common/bytes.hpp"
#include "common/ct.hpp"
#include "sm4/ctr.hpp"

namespace kyber_alg::sm4 {
namespace {

// Ciphertext is hashed in steps of this size right after it is written,
// while it is still in the first-level cache.
constexpr std::size_t kChunk = 4096;

void length_block(uint64_t ad_len, uint64_t len, uint8_t block[16]) {
  store_be64(block, ad_len * 8);
  store_be64(block + 8, len * 8);
}

void pre_counter_block(const GcmKey& key, const uint8_t* nonce, std::size_t nonce_len, uint8_t j0[16]) {
  if (nonce_len == 12) {
    std::memcpy(j0, nonce, 12);
    store_be32(j0 + 12, 1);
    return;
  }
  std::memset(j0, 0, 16);
  ghash_update(key.hash, j0, nonce, nonce_len);
  uint8_t lengths[16];
  length_block(0, nonce_len, lengths);
  ghash_update(key.hash, j0, lengths, 16);  // 0^64 || [len(IV)]_64
}

void finish_tag(const GcmKey& key, uint8_t s[16], std::size_t ad_len, std::size_t len, const uint8_t mask[16],
                uint8_t tag[16]) {
  uint8_t lengths[16];
  length_block(ad_len, len, lengths);
  ghash_update(key.hash, s, lengths, 16);
  for (int i = 0; i < 16; ++i) tag[i] = s[i] ^ mask[i];
}

}  // namespace

void gcm_init(GcmKey& key, const uint8_t raw_key[kKeySize]) {
  expand_key(raw_key, key.keys);
  uint8_t h[16] = {};
  ecb(key.keys, h, h, 1);
  ghash_key_init(h, key.hash);
  ct::wipe(h, sizeof h);
}

void gcm_seal(const GcmKey& key, const uint8_t* nonce, std::size_t nonce_len, const uint8_t* ad,
              std::size_t ad_len, const uint8_t* in, std::size_t len, uint8_t* out) {
  uint8_t counter[16], mask[16], s[16] = {};
  pre_counter_block(key, nonce, nonce_len, counter);
  ghash_update(key.hash, s, ad, ad_len);
  // E(J0) comes with the first blocks; then chunk by chunk: encrypt, hash.
  const std::size_t first = std::min(len, kChunk);
  ctr_xor_after_mask(key.keys, CounterWidth::low32, counter, in, out, first, mask);
  ghash_update(key.hash, s, out, first);
  for (std::size_t done = first; done < len; done += kChunk) {
    const std::size_t n = std::min(len - done, kChunk);
    ctr_xor(key.keys, CounterWidth::low32, counter, in + done, out + done, n);
    ghash_update(key.hash, s, out + done, n);
  }
  finish_tag(key, s, ad_len, len, mask, out + len);
  ct::wipe(mask, sizeof mask);
}

bool gcm_open(const GcmKey& key, const uint8_t* nonce, std::size_t nonce_len, const uint8_t* ad,
              std::size_t ad_len, uint8_t* data, std::size_t len, const uint8_t tag[kGcmTagSize]) {
  uint8_t counter[16], mask[16], s[16] = {}, expected[16];
  pre_counter_block(key, nonce, nonce_len, counter);
  ghash_update(key.hash, s, ad, ad_len);
  ghash_update(key.hash, s, data, len);
  // The plaintext is made here but leaves only if the tag matches.
  ctr_xor_after_mask(key.keys, CounterWidth::low32, counter, data, data, len, mask);
  finish_tag(key, s, ad_len, len, mask, expected);
  uint8_t match = ct::equal_mask(expected, tag, kGcmTagSize);
  ct::declassify(&match, 1);  // the verdict is public
  ct::wipe(mask, sizeof mask);
  ct::wipe(expected, sizeof expected);
  if (!match) ct::wipe(data, len);
  return match != 0;
}

}  // namespace kyber_alg::sm4
