// T_i = U_1 ^ ... ^ U_c, U_1 = PRF(P, S || INT(i)), U_j = PRF(P, U_(j-1)).
// From U_2 on, each PRF call hashes one 32-byte message from the keyed
// states: one compression for the inner hash and one for the outer, on
// blocks whose padding is written once.
#include "sm3/pbkdf2.hpp"

#include <algorithm>
#include <cstring>

#include "common/bytes.hpp"
#include "common/ct.hpp"
#include "sm3/hmac.hpp"
#include "sm3/kernels.hpp"

namespace kyber_alg::sm3 {
namespace {

// A one-block message of a 32-byte value after the 64-byte key block.
void prepare_block(uint8_t block[kBlockSize]) {
  std::memset(block, 0, kBlockSize);
  block[kDigestSize] = 0x80;
  store_be64(block + kBlockSize - 8, (kBlockSize + kDigestSize) * 8);
}

// digest = compression of block from the chaining value of a keyed state.
void compress_from(const State& keyed, const uint8_t block[kBlockSize], uint32_t v[8]) {
  std::memcpy(v, keyed.v, sizeof keyed.v);
  kernels()->compress_blocks(v, block, 1);
}

void derive_block(const HmacKey& key, const uint8_t* salt, std::size_t salt_len, uint32_t index,
                  uint64_t iterations, uint8_t t[kDigestSize]) {
  uint8_t u[kBlockSize], outer[kBlockSize];
  prepare_block(u);
  prepare_block(outer);
  State inner = key.inner;
  update(inner, salt, salt_len);
  uint8_t index_bytes[4];
  store_be32(index_bytes, index);
  update(inner, index_bytes, sizeof index_bytes);
  hmac_finish(key, inner, u);  // U_1
  std::memcpy(t, u, kDigestSize);
  uint32_t v[8];
  for (uint64_t j = 1; j < iterations; ++j) {
    compress_from(key.inner, u, v);
    for (int w = 0; w < 8; ++w) store_be32(outer + 4 * w, v[w]);
    compress_from(key.outer, outer, v);
    for (int w = 0; w < 8; ++w) store_be32(u + 4 * w, v[w]);
    for (std::size_t i = 0; i < kDigestSize; ++i) t[i] ^= u[i];
  }
  ct::wipe(u, sizeof u);
  ct::wipe(outer, sizeof outer);
  ct::wipe(v, sizeof v);
  ct::wipe_object(inner);
}

}  // namespace

void pbkdf2_hmac(const uint8_t* password, std::size_t password_len, const uint8_t* salt, std::size_t salt_len,
                 uint64_t iterations, uint8_t* out, std::size_t len) {
  ct::Wiped<HmacKey> key;
  hmac_init(key.value, password, password_len);
  ct::Wiped<uint8_t[kDigestSize]> t;
  uint32_t index = 1;
  for (std::size_t done = 0; done < len; done += kDigestSize, ++index) {
    derive_block(key.value, salt, salt_len, index, iterations, t.value);
    std::memcpy(out + done, t.value, std::min(kDigestSize, len - done));
  }
}

}  // namespace kyber_alg::sm3
