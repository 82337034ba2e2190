// AVX2 versions of the encoding kernels (encoding.hpp). Same results as the
// portable code. Reached through the avx2 kernel table only.
#pragma once

#include "common/cpu.hpp"
#include "mlkem/params.hpp"

namespace kyber_alg::mlkem::avx2 {

void byte_encode_12(uint8_t out[poly_bytes], const Poly& f);
void byte_decode_12_raw(Poly& f, const uint8_t in[poly_bytes]);

// (A template's target attribute must be on its first declaration.)
template <int D>
KYBER_ALG_TARGET_AVX2 void compress_encode(uint8_t* out, const Poly& f);
template <int D>
KYBER_ALG_TARGET_AVX2 void decode_decompress(Poly& f, const uint8_t* in);

}  // namespace kyber_alg::mlkem::avx2
