// The SM3 compression function CF, applied to whole 64-byte blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::sm3 {

// V(i+1) = CF(V(i), B(i)) for each of the `blocks` blocks at data.
void compress_blocks(uint32_t v[8], const uint8_t* data, std::size_t blocks);

}  // namespace kyber_alg::sm3
