#include "sm3/kdf.hpp"

#include <algorithm>
#include <cstring>

#include "common/ct.hpp"
#include "sm3/sm3.hpp"

namespace kyber_alg::sm3 {

uint8_t kdf_xor(uint8_t* out, std::size_t len, const uint8_t* z, std::size_t z_len) {
  // z is hashed once; each block continues from a copy of that state.
  ct::Wiped<State> after_z;
  init(after_z.value);
  update(after_z.value, z, z_len);
  ct::Wiped<State> block_state;
  ct::Wiped<uint8_t[kDigestSize]> block;
  uint8_t any = 0;
  uint32_t counter = 1;
  for (std::size_t done = 0; done < len; done += kDigestSize, ++counter) {
    const uint8_t ct_bytes[4] = {static_cast<uint8_t>(counter >> 24), static_cast<uint8_t>(counter >> 16),
                                 static_cast<uint8_t>(counter >> 8), static_cast<uint8_t>(counter)};
    block_state.value = after_z.value;
    update(block_state.value, ct_bytes, sizeof ct_bytes);
    finish(block_state.value, block.value);
    const std::size_t take = std::min(len - done, kDigestSize);
    for (std::size_t i = 0; i < take; ++i) {
      any |= block.value[i];
      out[done + i] ^= block.value[i];
    }
  }
  return static_cast<uint8_t>(ct::mask_zero(any));
}

void kdf(const uint8_t* z, std::size_t z_len, uint8_t* out, std::size_t len) {
  std::memset(out, 0, len);
  kdf_xor(out, len, z, z_len);
}

}  // namespace kyber_alg::sm3
