#include "mlkem/hex.hpp"

#include "common/hex.hpp"

namespace kyber_alg::kyber {

void hex_encode(char* out, const uint8_t* in, std::size_t len) { hex::encode(out, in, len); }

bool hex_decode(uint8_t* out, const char* in, std::size_t len) { return hex::decode(out, in, len); }

}  // namespace kyber_alg::kyber
