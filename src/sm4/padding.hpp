// Block padding for SM4 messages: PKCS#7, the zero padding of gmssl, and
// ISO/IEC 9797-1 padding method 2 (one 0x80 byte, then zeros).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm4/sm4.hpp"

namespace kyber_alg::sm4 {

enum class Padding { pkcs7 = 0, zero = 1, iso9797_m2 = 2 };

// Every padding here always adds 1..16 bytes: the padded length of len bytes.
inline std::size_t padded_size(std::size_t len) { return len + (kBlockSize - len % kBlockSize); }

// The last block of a message of len bytes: its tail (len % 16 bytes) followed by the padding.
void pad_last_block(const uint8_t* data, std::size_t len, Padding padding, uint8_t block[kBlockSize]);

// How many bytes of padding end the decrypted data (len a nonzero multiple of
// 16), or 0 if the padding is not valid. Constant time in the data: every
// byte of the last block is examined whatever the others hold; only the
// result is made public. Method 2 padding is the last 0x80 byte of the last
// block with only zeros after it. Zero padding counts the zero bytes that end the
// last block (at least one); it cannot tell them from zero bytes that ended
// the message itself.
std::size_t padding_length(const uint8_t* data, std::size_t len, Padding padding);

}  // namespace kyber_alg::sm4
