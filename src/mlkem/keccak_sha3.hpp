// Keccak-f[1600] on the SHA3 instructions, for the sha3 kernel table (defined
// only in builds with the aarch64 vector code).
#pragma once

#include <cstdint>

namespace kyber_alg::mlkem::sha3 {

void keccak_f1600(uint64_t state[25]);

}  // namespace kyber_alg::mlkem::sha3
