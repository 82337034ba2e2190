// ByteEncode_d / ByteDecode_d (FIPS 203 Algorithms 5 and 6) and
// Compress_d / Decompress_d (section 4.2.1).
#pragma once

#include "mlkem/params.hpp"

namespace kyber_alg::mlkem {

// ceil(2^40 / q): floor(y / q) = (y * div_q_multiplier) >> 40 for 0 <= y < 2^23,
// which is how Compress divides (the hardware divider's timing can depend on
// the operand). Shared by the portable and the vector code.
inline constexpr uint64_t div_q_multiplier = ((uint64_t{1} << 40) + q - 1) / q;

// Algorithm 5 for d = 12: 384 bytes from coefficients in [0, q).
void byte_encode_12(uint8_t out[poly_bytes], const Poly& f);

// Algorithm 6 for d = 12, without the final reduction: values in [0, 4096).
void byte_decode_12_raw(Poly& f, const uint8_t* in);

// Algorithm 6 for d = 12: values reduced mod q, branch-free (used on dk).
void byte_decode_12(Poly& f, const uint8_t* in);

// True if every coefficient of f is below q: the ek modulus check is
// ByteEncode_12(ByteDecode_12(ek)) == ek, i.e. no raw value reaches q.
bool all_below_q(const Poly& f);

// ByteEncode_d(Compress_d(f)) into 32*d bytes, for f with coefficients in
// [0, q), and Decompress_d(ByteDecode_d(in)) into f: the ciphertext's d = du,
// dv and the message's d = 1. Every d that a parameter set uses (1, 4, 5, 10,
// 11) has a kernel on every path.
template <int D>
void compress_encode(uint8_t* out, const Poly& f);
template <int D>
void decode_decompress(Poly& f, const uint8_t* in);

// The portable versions of the encoding kernels.
namespace portable {
void byte_encode_12(uint8_t out[poly_bytes], const Poly& f);
void byte_decode_12_raw(Poly& f, const uint8_t in[poly_bytes]);
template <int D>
void compress_encode(uint8_t* out, const Poly& f);
template <int D>
void decode_decompress(Poly& f, const uint8_t* in);
}  // namespace portable

}  // namespace kyber_alg::mlkem
