// The bit packing of FIPS 204 section 7.1-7.2: SimpleBitPack, BitPack and
// their inverses (Algorithms 16-19), HintBitPack/HintBitUnpack (20, 21) and
// the encodings of keys and signatures built from them (22-28).
#pragma once

#include <cstddef>
#include <cstdint>

#include "mldsa/params.hpp"

namespace kyber_alg::mldsa {

// Algorithm 16: coefficients in [0, 2^Bits), packed little-endian, 32 * Bits bytes.
template <int Bits>
void simple_bit_pack(uint8_t* out, const Poly& w);
// Algorithm 18.
template <int Bits>
void simple_bit_unpack(Poly& w, const uint8_t* in);
// Algorithm 17: packs b - w_i in Bits bits, for w_i in [-a, b].
template <int Bits>
void bit_pack(uint8_t* out, const Poly& w, int32_t b);
// Algorithm 19: w_i = b - (the next Bits bits). Instantiated for the widths
// of z (18, 20), which ExpandMask uses too; the others stay in packing.cpp.
template <int Bits>
void bit_unpack(Poly& w, const uint8_t* in, int32_t b);

// Algorithm 22: pk = rho || SimpleBitPack(t1[i], 10) for each i.
template <class P>
void pk_encode(uint8_t out[P::pk_bytes], const uint8_t rho[32], const typename P::VecK& t1);
// Algorithm 23. Every 10-bit value is a valid coefficient, so this cannot fail.
template <class P>
void pk_decode(uint8_t rho[32], typename P::VecK& t1, const uint8_t in[P::pk_bytes]);

template <class P>
struct SecretParts {
  uint8_t rho[32];
  uint8_t key[32];  // K
  uint8_t tr[64];
  typename P::VecL s1;
  typename P::VecK s2;
  typename P::VecK t0;
};

// Algorithm 24.
template <class P>
void sk_encode(uint8_t out[P::sk_bytes], const SecretParts<P>& sk);
// Algorithm 25; false if a coefficient of s1 or s2 lies outside [-eta, eta]
// (each t0 value is in range by its width). Constant time in the key.
template <class P>
bool sk_decode(SecretParts<P>& sk, const uint8_t in[P::sk_bytes]);

// Algorithm 26: c_tilde || BitPack(z[i], gamma1 - 1, gamma1) || HintBitPack(h),
// h with coefficients 0 or 1 and at most omega ones.
template <class P>
void sig_encode(uint8_t out[P::sig_bytes], const uint8_t* c_tilde, const typename P::VecL& z,
                const typename P::VecK& h);
// Algorithm 27; false (the signature is rejected) if the hint is malformed (Algorithm 21).
template <class P>
bool sig_decode(uint8_t* c_tilde, typename P::VecL& z, typename P::VecK& h, const uint8_t in[P::sig_bytes]);

// Algorithm 28: SimpleBitPack(w1[i], (q-1)/(2 gamma2) - 1) for each i.
template <class P>
void w1_encode(uint8_t out[P::k * P::w1_poly_bytes], const typename P::VecK& w1);

}  // namespace kyber_alg::mldsa
