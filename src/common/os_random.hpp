// The one source of randomness of every native module: the operating
// system's CSPRNG.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg {

// Fills out[0..len) from getrandom(2). Returns false with errno set if the
// kernel cannot provide the bytes; there is no fallback source.
//
// Small requests (keys, seeds, nonces: up to kPooledMax bytes) are served
// from a buffer refilled a kilobyte at a time, since each getrandom call costs
// about as much as 100 bytes of its output. The buffer is shared under a
// mutex, so callers need not hold the GIL; every byte handed out is wiped
// from it, and a child made by fork() starts with it empty, so no two calls
// or processes ever get the same bytes.
bool os_random(uint8_t* out, std::size_t len);

inline constexpr std::size_t kPooledMax = 64;

}  // namespace kyber_alg
