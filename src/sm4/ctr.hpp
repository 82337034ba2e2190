// Counter mode (NIST SP 800-38A, 6.5) over the kernels' many-block keystream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm4/sm4.hpp"

namespace kyber_alg::sm4 {

// How a counter block counts: GCM's inc32 (the last four bytes, modulo
// 2^32) or the whole block as one 128-bit big-endian number (SP 800-38A's
// usual choice, OpenSSL's SM4-CTR, and CCM's counter field).
enum class CounterWidth { low32, full128 };

// out = in ^ keystream from counter on (len bytes, any length; in == out
// allowed). counter is advanced by one per block begun.
void ctr_xor(const RoundKeys& keys, CounterWidth width, uint8_t counter[kBlockSize], const uint8_t* in,
             uint8_t* out, std::size_t len);

// mask = E(counter), then ctr_xor from the next counter value: the tag mask
// of GCM and CCM computed with the first blocks of the message in one pass.
void ctr_xor_after_mask(const RoundKeys& keys, CounterWidth width, uint8_t counter[kBlockSize],
                        const uint8_t* in, uint8_t* out, std::size_t len, uint8_t mask[kBlockSize]);

// SM4-CTR as a stream: any split of the data into calls gives the same bytes.
struct CtrStream {
  RoundKeys keys;
  uint8_t counter[kBlockSize];    // the next counter block
  uint8_t keystream[kBlockSize];  // the current block's keystream
  std::size_t used;               // bytes of keystream already used (16: none left)
};

void ctr_stream_init(CtrStream& stream, const uint8_t key[kKeySize], const uint8_t iv[kBlockSize]);
void ctr_stream_xor(CtrStream& stream, const uint8_t* in, uint8_t* out, std::size_t len);

}  // namespace kyber_alg::sm4
