// The scalar Keccak-f[1600] built for CPUs of the AVX2 path (keccak.hpp has
// the portable one). Reached through the avx2 kernel table only.
#pragma once

#include <cstdint>

namespace kyber_alg::mlkem::avx2 {

void keccak_f1600(uint64_t state[25]);

}  // namespace kyber_alg::mlkem::avx2
