// Operating-system randomness fetched a kilobyte at a time and handed out in
// small pieces: each getrandom call has a fixed cost of about as much as
// 100 bytes of its output, and a key generation needs only 64 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::kyber {

// Fills out[0..len) (len <= 64) from the pool, refilling it from
// os_random() when it runs low. False with errno set if the operating system
// cannot provide the bytes. Every byte handed out is wiped from the pool, and
// a child process made by fork() starts with an empty pool, so no two
// processes or calls ever get the same bytes. Callers hold the GIL, which
// serialises every use.
bool random_bytes(uint8_t* out, std::size_t len);

}  // namespace kyber_alg::kyber
