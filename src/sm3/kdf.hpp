// The key derivation function of GB/T 32918.4 (section 5.4.3) with SM3,
// used by SM2 encryption and offered on its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::sm3 {

// out[i] ^= t[i] for the first len bytes of t = KDF(z, len): the blocks
// SM3(z || ct) for ct = 1, 2, ... (32-bit big-endian). Returns all ones if
// every byte of t was zero (also for len = 0), in constant time.
uint8_t kdf_xor(uint8_t* out, std::size_t len, const uint8_t* z, std::size_t z_len);

// out = KDF(z, len).
void kdf(const uint8_t* z, std::size_t z_len, uint8_t* out, std::size_t len);

}  // namespace kyber_alg::sm3
