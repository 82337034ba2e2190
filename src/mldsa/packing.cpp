#include "mldsa/packing.hpp"

#include <cstring>

namespace kyber_alg::mldsa {

// Each group of eight coefficients fills exactly Bits bytes; with Bits a
// constant, the offsets below fold and the loops unroll.
template <int Bits>
void simple_bit_pack(uint8_t* out, const Poly& w) {
  for (int g = 0; g < n / 8; ++g, out += Bits) {
    std::memset(out, 0, Bits);
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
      const int at = k * Bits, shift = at % 8, bytes = (shift + Bits + 7) / 8;
      const uint32_t v = static_cast<uint32_t>(w.c[8 * g + k]) << shift;
      for (int i = 0; i < bytes; ++i) out[at / 8 + i] |= static_cast<uint8_t>(v >> (8 * i));
    }
  }
}

template <int Bits>
void simple_bit_unpack(Poly& w, const uint8_t* in) {
  constexpr uint32_t mask = (uint32_t{1} << Bits) - 1;
  for (int g = 0; g < n / 8; ++g, in += Bits) {
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
      const int at = k * Bits, shift = at % 8, bytes = (shift + Bits + 7) / 8;
      uint32_t v = 0;
      for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(in[at / 8 + i]) << (8 * i);
      w.c[8 * g + k] = static_cast<int32_t>((v >> shift) & mask);
    }
  }
}

template <int Bits>
void bit_pack(uint8_t* out, const Poly& w, int32_t b) {
  Poly v;
  for (int i = 0; i < n; ++i) v.c[i] = b - w.c[i];
  simple_bit_pack<Bits>(out, v);
}

template <int Bits>
void bit_unpack(Poly& w, const uint8_t* in, int32_t b) {
  simple_bit_unpack<Bits>(w, in);
  for (int32_t& c : w.c) c = b - c;
}

template <class P>
void pk_encode(uint8_t out[P::pk_bytes], const uint8_t rho[32], const typename P::VecK& t1) {
  std::memcpy(out, rho, 32);
  for (int i = 0; i < P::k; ++i) simple_bit_pack<10>(out + 32 + 320 * i, t1.p[i]);
}

template <class P>
void pk_decode(uint8_t rho[32], typename P::VecK& t1, const uint8_t in[P::pk_bytes]) {
  std::memcpy(rho, in, 32);
  for (int i = 0; i < P::k; ++i) simple_bit_unpack<10>(t1.p[i], in + 32 + 320 * i);
}

namespace {

constexpr std::size_t eta_poly_bytes(int eta_bits) { return 32 * static_cast<std::size_t>(eta_bits); }
constexpr std::size_t t0_poly_bytes = 32 * d;

}  // namespace

template <class P>
void sk_encode(uint8_t out[P::sk_bytes], const SecretParts<P>& sk) {
  std::memcpy(out, sk.rho, 32);
  std::memcpy(out + 32, sk.key, 32);
  std::memcpy(out + 64, sk.tr, 64);
  uint8_t* p = out + 128;
  const std::size_t eta_bytes = eta_poly_bytes(P::eta_bits);
  for (int i = 0; i < P::l; ++i, p += eta_bytes) bit_pack<P::eta_bits>(p, sk.s1.p[i], P::eta);
  for (int i = 0; i < P::k; ++i, p += eta_bytes) bit_pack<P::eta_bits>(p, sk.s2.p[i], P::eta);
  for (int i = 0; i < P::k; ++i, p += t0_poly_bytes) bit_pack<d>(p, sk.t0.p[i], 1 << (d - 1));
}

template <class P>
bool sk_decode(SecretParts<P>& sk, const uint8_t in[P::sk_bytes]) {
  std::memcpy(sk.rho, in, 32);
  std::memcpy(sk.key, in + 32, 32);
  std::memcpy(sk.tr, in + 64, 64);
  const uint8_t* p = in + 128;
  const std::size_t eta_bytes = eta_poly_bytes(P::eta_bits);
  // Bit 31 of `outside` collects eta - |s_i| < 0 over every coefficient.
  int32_t outside = 0;
  auto decode_small = [&](Poly& s) {
    bit_unpack<P::eta_bits>(s, p, P::eta);
    p += eta_bytes;
    for (int32_t c : s.c) outside |= P::eta + c;  // c = eta - raw <= eta always; c >= -eta is the check
  };
  for (int i = 0; i < P::l; ++i) decode_small(sk.s1.p[i]);
  for (int i = 0; i < P::k; ++i) decode_small(sk.s2.p[i]);
  for (int i = 0; i < P::k; ++i, p += t0_poly_bytes) bit_unpack<d>(sk.t0.p[i], p, 1 << (d - 1));
  return (outside >> 31) == 0;
}

template <class P>
void sig_encode(uint8_t out[P::sig_bytes], const uint8_t* c_tilde, const typename P::VecL& z,
                const typename P::VecK& h) {
  std::memcpy(out, c_tilde, P::c_tilde_bytes);
  uint8_t* p = out + P::c_tilde_bytes;
  for (int i = 0; i < P::l; ++i, p += 32 * P::z_bits) bit_pack<P::z_bits>(p, z.p[i], P::gamma1);
  // HintBitPack (Algorithm 20): the positions of the ones, then the running count per polynomial.
  std::memset(p, 0, P::omega + P::k);
  int index = 0;
  for (int i = 0; i < P::k; ++i) {
    for (int j = 0; j < n; ++j)
      if (h.p[i].c[j] != 0) p[index++] = static_cast<uint8_t>(j);
    p[P::omega + i] = static_cast<uint8_t>(index);
  }
}

template <class P>
bool sig_decode(uint8_t* c_tilde, typename P::VecL& z, typename P::VecK& h, const uint8_t in[P::sig_bytes]) {
  std::memcpy(c_tilde, in, P::c_tilde_bytes);
  const uint8_t* p = in + P::c_tilde_bytes;
  for (int i = 0; i < P::l; ++i, p += 32 * P::z_bits) bit_unpack<P::z_bits>(z.p[i], p, P::gamma1);
  // HintBitUnpack (Algorithm 21).
  std::memset(&h, 0, sizeof h);
  int index = 0;
  for (int i = 0; i < P::k; ++i) {
    const int end = p[P::omega + i];
    if (end < index || end > P::omega) return false;
    const int first = index;
    for (; index < end; ++index) {
      if (index > first && p[index - 1] >= p[index]) return false;
      h.p[i].c[p[index]] = 1;
    }
  }
  for (int i = index; i < P::omega; ++i)
    if (p[i] != 0) return false;
  return true;
}

template <class P>
void w1_encode(uint8_t out[P::k * P::w1_poly_bytes], const typename P::VecK& w1) {
  for (int i = 0; i < P::k; ++i) simple_bit_pack<P::w1_bits>(out + i * P::w1_poly_bytes, w1.p[i]);
}

template void bit_unpack<18>(Poly&, const uint8_t*, int32_t);
template void bit_unpack<20>(Poly&, const uint8_t*, int32_t);

#define KYBER_ALG_MLDSA_PACKING(P)                                                       \
  template void pk_encode<P>(uint8_t*, const uint8_t*, const P::VecK&);                  \
  template void pk_decode<P>(uint8_t*, P::VecK&, const uint8_t*);                        \
  template void sk_encode<P>(uint8_t*, const SecretParts<P>&);                           \
  template bool sk_decode<P>(SecretParts<P>&, const uint8_t*);                           \
  template void sig_encode<P>(uint8_t*, const uint8_t*, const P::VecL&, const P::VecK&); \
  template bool sig_decode<P>(uint8_t*, P::VecL&, P::VecK&, const uint8_t*);             \
  template void w1_encode<P>(uint8_t*, const P::VecK&);
KYBER_ALG_MLDSA_PACKING(MlDsa44)
KYBER_ALG_MLDSA_PACKING(MlDsa65)
KYBER_ALG_MLDSA_PACKING(MlDsa87)
#undef KYBER_ALG_MLDSA_PACKING

}  // namespace kyber_alg::mldsa
