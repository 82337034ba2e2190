// Lower-case hexadecimal encoding and case-insensitive decoding, constant
// time in the data so that secret keys can pass through: ML-KEM's names for
// the shared codec of common/hex.hpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::kyber {

// Writes 2*len lower-case hex characters.
void hex_encode(char* out, const uint8_t* in, std::size_t len);

// Reads 2*len hex characters (either case) into len bytes. Returns false if
// any character is not a hex digit; the whole input is always processed,
// and `out` holds garbage then (the caller wipes it).
bool hex_decode(uint8_t* out, const char* in, std::size_t len);

}  // namespace kyber_alg::kyber
