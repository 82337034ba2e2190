// AVX2 versions of ByteEncode_12 / ByteDecode_12. Same results as the
// portable code. Reached through avx2_kernels only.
#pragma once

#include "params.hpp"

namespace kyber_alg::kyber::avx2 {

void byte_encode_12(uint8_t out[poly_bytes], const Poly& f);
void byte_decode_12_raw(Poly& f, const uint8_t in[poly_bytes]);

}  // namespace kyber_alg::kyber::avx2
