#include "sm3/hkdf.hpp"

#include <algorithm>
#include <cstring>

#include "common/ct.hpp"
#include "sm3/hmac.hpp"

namespace kyber_alg::sm3 {

void hkdf_extract(const uint8_t* salt, std::size_t salt_len, const uint8_t* ikm, std::size_t ikm_len,
                  uint8_t prk[kDigestSize]) {
  // A key shorter than a block is padded with zeros, so an empty salt is
  // already the same key as HashLen zero bytes.
  ct::Wiped<HmacKey> key;
  hmac_init(key.value, salt, salt_len);
  hmac(key.value, ikm, ikm_len, prk);
}

void hkdf_expand(const uint8_t* prk, std::size_t prk_len, const uint8_t* info, std::size_t info_len,
                 uint8_t* out, std::size_t len) {
  ct::Wiped<HmacKey> key;
  hmac_init(key.value, prk, prk_len);
  ct::Wiped<uint8_t[kDigestSize]> t;
  ct::Wiped<State> state;
  for (std::size_t done = 0, i = 1; done < len; done += kDigestSize, ++i) {
    state.value = key.value.inner;
    if (i > 1) update(state.value, t.value, kDigestSize);
    update(state.value, info, info_len);
    const uint8_t counter = static_cast<uint8_t>(i);
    update(state.value, &counter, 1);
    hmac_finish(key.value, state.value, t.value);
    std::memcpy(out + done, t.value, std::min(kDigestSize, len - done));
  }
}

}  // namespace kyber_alg::sm3
