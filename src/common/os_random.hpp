// Seeds from the operating system's CSPRNG.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg {

// Fills out[0..len) from getrandom(2). Returns false with errno set if the
// kernel cannot provide the bytes; there is no fallback source.
bool os_random(uint8_t* out, std::size_t len);

}  // namespace kyber_alg
