#include "sm4/padding.hpp"

#include <cstring>

#include "common/ct.hpp"

namespace kyber_alg::sm4 {

void pad_last_block(const uint8_t* data, std::size_t len, Padding padding, uint8_t block[kBlockSize]) {
  const std::size_t tail = len % kBlockSize;
  const uint8_t fill = padding == Padding::pkcs7 ? static_cast<uint8_t>(kBlockSize - tail) : 0;
  std::memcpy(block, data + (len - tail), tail);
  std::memset(block + tail, fill, kBlockSize - tail);
  if (padding == Padding::iso9797_m2) block[tail] = 0x80;
}

namespace {

// PKCS#7: the last byte p is 1..16 and the last p bytes all equal p.
uint32_t pkcs7_length(const uint8_t last[kBlockSize]) {
  const uint32_t p = last[kBlockSize - 1];
  uint32_t bad = ct::mask_zero(p) | ct::mask_lt(kBlockSize, p);
  for (uint32_t i = 0; i < kBlockSize; ++i) {
    const uint32_t in_padding = ct::mask_lt(kBlockSize - i, p + 1);
    bad |= in_padding & ct::mask_nonzero(last[i] ^ p);
  }
  return p & ~bad;
}

uint32_t zero_length(const uint8_t last[kBlockSize]) {
  uint32_t run = ~0u, count = 0;
  for (std::size_t i = kBlockSize; i-- > 0;) {
    run &= ct::mask_zero(last[i]);
    count += run & 1;
  }
  return count;
}

// The first nonzero byte from the end must be 0x80; the padding runs from it to the end.
uint32_t iso9797_m2_length(const uint8_t last[kBlockSize]) {
  uint32_t zeros_after = ~0u, length = 0;
  for (std::size_t i = kBlockSize; i-- > 0;) {
    const uint32_t marker = zeros_after & ct::mask_zero(last[i] ^ 0x80u);
    length |= marker & static_cast<uint32_t>(kBlockSize - i);
    zeros_after &= ct::mask_zero(last[i]);
  }
  return length;
}

}  // namespace

std::size_t padding_length(const uint8_t* data, std::size_t len, Padding padding) {
  const uint8_t* last = data + len - kBlockSize;
  uint32_t length = padding == Padding::pkcs7        ? pkcs7_length(last)
                    : padding == Padding::iso9797_m2 ? iso9797_m2_length(last)
                                                     : zero_length(last);
  // Public from here: it decides between an error and a plaintext of len - length bytes.
  ct::declassify(&length, sizeof length);
  return length;
}

}  // namespace kyber_alg::sm4
