// The four-way Keccak-f[1600] on the interleaved states of keccak_x4.hpp, on
// AVX2. Reached through the avx2 kernel table only.
#pragma once

#include <cstdint>

namespace kyber_alg::mlkem::avx2 {

void keccak_f1600_x4(uint64_t states[100]);

}  // namespace kyber_alg::mlkem::avx2
