#include "sm3/hmac.hpp"

#include <cstring>

#include "common/ct.hpp"

namespace kyber_alg::sm3 {
namespace {

// A state that has absorbed the key block K0 ^ pad.
void absorb_key_block(State& state, const uint8_t k0[kBlockSize], uint8_t pad) {
  uint8_t block[kBlockSize];
  for (std::size_t i = 0; i < kBlockSize; ++i) block[i] = k0[i] ^ pad;
  init(state);
  update(state, block, kBlockSize);
  ct::wipe(block, sizeof block);
}

}  // namespace

void hmac_init(HmacKey& key, const uint8_t* raw_key, std::size_t key_len) {
  // K0: the key padded with zeros to one block, or its digest if longer.
  uint8_t k0[kBlockSize] = {};
  if (key_len > kBlockSize)
    hash(raw_key, key_len, k0);
  else if (key_len > 0)  // an empty key may come as a null pointer
    std::memcpy(k0, raw_key, key_len);
  absorb_key_block(key.inner, k0, 0x36);
  absorb_key_block(key.outer, k0, 0x5c);
  ct::wipe(k0, sizeof k0);
}

void hmac_finish(const HmacKey& key, const State& inner, uint8_t out[kDigestSize]) {
  uint8_t inner_digest[kDigestSize];
  digest(inner, inner_digest);
  State outer = key.outer;
  update(outer, inner_digest, kDigestSize);
  digest(outer, out);
  ct::wipe(inner_digest, sizeof inner_digest);
  ct::wipe_object(outer);
}

void hmac(const HmacKey& key, const uint8_t* message, std::size_t len, uint8_t out[kDigestSize]) {
  State inner = key.inner;
  update(inner, message, len);
  hmac_finish(key, inner, out);
  ct::wipe_object(inner);
}

}  // namespace kyber_alg::sm3
