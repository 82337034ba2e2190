// ByteEncode_d / ByteDecode_d (FIPS 203 Algorithms 5 and 6) and
// Compress_d / Decompress_d (section 4.2.1).
#pragma once

#include "params.hpp"

namespace kyber_alg::kyber {

// Algorithm 5: 256 d-bit integers (coefficients in [0, 2^d), or [0, q) for
// d = 12) to 32*d bytes.
template <int D>
void byte_encode(uint8_t* out, const Poly& f);

// Algorithm 6 for d < 12: 32*d bytes to 256 integers in [0, 2^d).
template <int D>
void byte_decode(Poly& f, const uint8_t* in);

// Algorithm 6 for d = 12, without the final reduction: values in [0, 4096).
void byte_decode_12_raw(Poly& f, const uint8_t* in);

// Algorithm 6 for d = 12: values reduced mod q, branch-free (used on dk).
void byte_decode_12(Poly& f, const uint8_t* in);

// True if every coefficient of f is below q: the ek modulus check is
// ByteEncode_12(ByteDecode_12(ek)) == ek, i.e. no raw value reaches q.
bool all_below_q(const Poly& f);

// The portable versions of the ByteEncode_12 / ByteDecode_12 kernels.
namespace portable {
void byte_encode_12(uint8_t out[poly_bytes], const Poly& f);
void byte_decode_12_raw(Poly& f, const uint8_t in[poly_bytes]);
}  // namespace portable

// Compress_d on each coefficient; input in [0, q).
template <int D>
void compress(Poly& f);

// Decompress_d on each coefficient; input in [0, 2^d).
template <int D>
void decompress(Poly& f);

}  // namespace kyber_alg::kyber
