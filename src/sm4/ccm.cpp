// CCM's steps (SP 800-38C, 6.1 and 6.2): the formatted blocks B0 || A || P
// through CBC-MAC, counter blocks Ctr_i = flags || N || [i]_q, the tag
// MSB_t(Y_r) ^ MSB_t(E(Ctr_0)).
#include "sm4/ccm.hpp"

#include <algorithm>
#include <cstring>

#include "common/bytes.hpp"
#include "common/ct.hpp"
#include "sm4/ctr.hpp"

namespace kyber_alg::sm4 {
namespace {

// CBC-MAC with IV 0 over a byte stream padded with zeros at chosen points.
class CbcMac {
 public:
  explicit CbcMac(const RoundKeys& keys) : keys_(keys) {}
  ~CbcMac() {
    ct::wipe(y_, sizeof y_);
    ct::wipe(buffer_, sizeof buffer_);
  }

  void update(const uint8_t* data, std::size_t len) {
    while (len > 0) {
      const std::size_t take = std::min(len, sizeof buffer_ - fill_);
      std::memcpy(buffer_ + fill_, data, take);
      fill_ += take, data += take, len -= take;
      if (fill_ == sizeof buffer_) flush();
    }
  }

  // Zeros up to the next block boundary.
  void pad() {
    const std::size_t tail = fill_ % kBlockSize;
    if (tail == 0) return;
    std::memset(buffer_ + fill_, 0, kBlockSize - tail);
    fill_ += kBlockSize - tail;
  }

  // Y_r, after pad().
  const uint8_t* result() {
    flush();
    return y_;
  }

 private:
  void flush() {
    const std::size_t blocks = fill_ / kBlockSize;
    cbc_encrypt(keys_, y_, buffer_, buffer_, blocks);  // leaves the last output block in y_
    fill_ = 0;
  }

  const RoundKeys& keys_;
  uint8_t y_[kBlockSize] = {};
  uint8_t buffer_[16 * kBlockSize];
  std::size_t fill_ = 0;
};

std::size_t length_field_size(std::size_t nonce_len) { return 15 - nonce_len; }

void mac(const RoundKeys& keys, const uint8_t* nonce, std::size_t nonce_len, const uint8_t* ad,
         std::size_t ad_len, const uint8_t* message, std::size_t len, std::size_t tag_len,
         uint8_t out[kBlockSize]) {
  const std::size_t q = length_field_size(nonce_len);
  uint8_t b0[kBlockSize];
  b0[0] = static_cast<uint8_t>((ad_len > 0 ? 0x40 : 0) | ((tag_len - 2) / 2) << 3 | (q - 1));
  std::memcpy(b0 + 1, nonce, nonce_len);
  for (std::size_t i = 0; i < q; ++i)
    b0[15 - i] = static_cast<uint8_t>(static_cast<uint64_t>(len) >> (8 * i));
  CbcMac cbc_mac(keys);
  cbc_mac.update(b0, sizeof b0);
  if (ad_len > 0) {
    // The length of the associated data in 2, 6 or 10 bytes.
    uint8_t prefix[10];
    std::size_t prefix_len;
    if (ad_len < 0xff00) {
      prefix[0] = static_cast<uint8_t>(ad_len >> 8), prefix[1] = static_cast<uint8_t>(ad_len);
      prefix_len = 2;
    } else if (static_cast<uint64_t>(ad_len) <= 0xffffffffu) {
      prefix[0] = 0xff, prefix[1] = 0xfe;
      store_be32(prefix + 2, static_cast<uint32_t>(ad_len));
      prefix_len = 6;
    } else {
      prefix[0] = 0xff, prefix[1] = 0xff;
      store_be64(prefix + 2, static_cast<uint64_t>(ad_len));
      prefix_len = 10;
    }
    cbc_mac.update(prefix, prefix_len);
    cbc_mac.update(ad, ad_len);
    cbc_mac.pad();
  }
  cbc_mac.update(message, len);
  cbc_mac.pad();
  std::memcpy(out, cbc_mac.result(), kBlockSize);
}

// Ctr_0: flags q - 1, the nonce, a zero count.
void first_counter(const uint8_t* nonce, std::size_t nonce_len, uint8_t counter[kBlockSize]) {
  std::memset(counter, 0, kBlockSize);
  counter[0] = static_cast<uint8_t>(length_field_size(nonce_len) - 1);
  std::memcpy(counter + 1, nonce, nonce_len);
}

}  // namespace

bool ccm_tag_size_valid(std::size_t tag_len) { return tag_len >= 4 && tag_len <= 16 && tag_len % 2 == 0; }

bool ccm_nonce_size_valid(std::size_t nonce_len) {
  return nonce_len >= kCcmMinNonce && nonce_len <= kCcmMaxNonce;
}

bool ccm_length_fits(std::size_t nonce_len, uint64_t len) {
  const std::size_t q = length_field_size(nonce_len);
  return q >= 8 || len < (uint64_t{1} << (8 * q));
}

void ccm_seal(const RoundKeys& keys, const uint8_t* nonce, std::size_t nonce_len, const uint8_t* ad,
              std::size_t ad_len, uint8_t* data, std::size_t len, uint8_t* tag, std::size_t tag_len) {
  uint8_t y[kBlockSize], counter[kBlockSize], mask[kBlockSize];
  mac(keys, nonce, nonce_len, ad, ad_len, data, len, tag_len, y);
  first_counter(nonce, nonce_len, counter);
  ctr_xor_after_mask(keys, CounterWidth::full128, counter, data, data, len, mask);
  for (std::size_t i = 0; i < tag_len; ++i) tag[i] = y[i] ^ mask[i];
  ct::wipe(y, sizeof y);
  ct::wipe(mask, sizeof mask);
}

bool ccm_open(const RoundKeys& keys, const uint8_t* nonce, std::size_t nonce_len, const uint8_t* ad,
              std::size_t ad_len, uint8_t* data, std::size_t len, const uint8_t* tag, std::size_t tag_len) {
  uint8_t y[kBlockSize], counter[kBlockSize], mask[kBlockSize];
  first_counter(nonce, nonce_len, counter);
  ctr_xor_after_mask(keys, CounterWidth::full128, counter, data, data, len, mask);
  mac(keys, nonce, nonce_len, ad, ad_len, data, len, tag_len, y);
  for (std::size_t i = 0; i < tag_len; ++i) y[i] ^= mask[i];
  uint8_t match = ct::equal_mask(y, tag, tag_len);
  ct::declassify(&match, 1);  // the verdict is public
  ct::wipe(y, sizeof y);
  ct::wipe(mask, sizeof mask);
  if (!match) ct::wipe(data, len);
  return match != 0;
}

}  // namespace kyber_alg::sm4
