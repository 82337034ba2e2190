#include "mldsa/sampling.hpp"

#include "common/ct.hpp"
#include "mldsa/packing.hpp"
#include "mlkem/keccak.hpp"

namespace kyber_alg::mldsa {

using kyber::Shake128;
using kyber::Shake256;

void sample_in_ball(Poly& c, const uint8_t* rho, std::size_t rho_len, int tau) {
  Shake256 xof;
  xof.absorb(rho, rho_len);
  uint8_t s[8];
  xof.squeeze(s, 8);
  uint64_t signs = 0;
  for (int i = 0; i < 8; ++i) signs |= static_cast<uint64_t>(s[i]) << (8 * i);
  for (int32_t& x : c.c) x = 0;
  for (int i = n - tau; i < n; ++i) {
    uint8_t j;
    for (;;) {
      xof.squeeze(&j, 1);
      uint8_t keep = j <= i;
      ct::declassify(&keep, 1);  // which bytes are skipped, not where a +-1 goes
      if (keep) break;
    }
    // c_i = c_j; c_j = (-1)^h: a scan over c_0..c_i so that j stays secret.
    const auto sign = static_cast<int32_t>(1 - 2 * static_cast<int32_t>(signs & 1));
    signs >>= 1;
    int32_t at_j = 0;
    for (int t = 0; t <= i; ++t) {
      const int32_t hit = -static_cast<int32_t>(ct::mask_zero(static_cast<uint32_t>(t ^ j)) & 1);
      at_j |= c.c[t] & hit;
      c.c[t] = (c.c[t] & ~hit) | (sign & hit);
    }
    // If j == i, c_i is the new sign itself, not the old value of c_j.
    const int32_t same = -static_cast<int32_t>(ct::mask_zero(static_cast<uint32_t>(i ^ j)) & 1);
    c.c[i] = (at_j & ~same) | (sign & same);
  }
}

void rej_ntt_poly(Poly& a, const uint8_t rho[32], uint8_t s, uint8_t r) {
  Shake128 xof;
  xof.absorb(rho, 32);
  xof.absorb(&s, 1);
  xof.absorb(&r, 1);
  uint8_t block[Shake128::rate];  // 56 groups of 3 bytes
  int filled = 0;
  while (filled < n) {
    xof.squeeze_blocks(block, 1);
    for (std::size_t i = 0; i + 3 <= sizeof block && filled < n; i += 3) {
      // CoeffFromThreeBytes (Algorithm 14): 23 bits, kept if below q.
      const int32_t v = block[i] | (block[i + 1] << 8) | ((block[i + 2] & 0x7f) << 16);
      a.c[filled] = v;
      filled += v < q;
    }
  }
}

namespace {

// CoeffFromHalfByte (Algorithm 15) for one nibble of a secret polynomial:
// whether it is kept is public (it does not depend on the value kept), the
// value is computed without a branch.
inline int32_t coeff_from_half_byte(uint32_t b, int eta, bool& keep) {
  uint8_t accept = eta == 2 ? b < 15 : b < 9;
  ct::declassify(&accept, 1);
  keep = accept;
  if (eta == 2) return 2 - static_cast<int32_t>(b - 5 * ((b * 205) >> 10));  // b mod 5 for b < 16
  return 4 - static_cast<int32_t>(b);
}

}  // namespace

void rej_bounded_poly(Poly& a, const uint8_t rho[64], uint16_t r, int eta) {
  Shake256 xof;
  xof.absorb(rho, 64);
  const uint8_t nonce[2] = {static_cast<uint8_t>(r), static_cast<uint8_t>(r >> 8)};
  xof.absorb(nonce, 2);
  uint8_t block[Shake256::rate];
  int filled = 0;
  while (filled < n) {
    xof.squeeze_blocks(block, 1);
    for (std::size_t i = 0; i < sizeof block && filled < n; ++i) {
      bool keep;
      const int32_t z0 = coeff_from_half_byte(block[i] & 15u, eta, keep);
      if (keep) a.c[filled++] = z0;
      const int32_t z1 = coeff_from_half_byte(block[i] >> 4, eta, keep);
      if (keep && filled < n) a.c[filled++] = z1;
    }
  }
  ct::wipe(block, sizeof block);
}

template <class P>
void expand_a(typename P::Matrix& a, const uint8_t rho[32]) {
  for (int r = 0; r < P::k; ++r)
    for (int s = 0; s < P::l; ++s)
      rej_ntt_poly(a.row[r].p[s], rho, static_cast<uint8_t>(s), static_cast<uint8_t>(r));
}

template <class P>
void expand_s(typename P::VecL& s1, typename P::VecK& s2, const uint8_t rho[64]) {
  for (int r = 0; r < P::l; ++r) rej_bounded_poly(s1.p[r], rho, static_cast<uint16_t>(r), P::eta);
  for (int r = 0; r < P::k; ++r) rej_bounded_poly(s2.p[r], rho, static_cast<uint16_t>(r + P::l), P::eta);
}

template <class P>
void expand_mask(typename P::VecL& y, const uint8_t rho[64], uint16_t mu) {
  uint8_t v[32 * P::z_bits];
  for (int r = 0; r < P::l; ++r) {
    const auto nonce_value = static_cast<uint16_t>(mu + r);
    const uint8_t nonce[2] = {static_cast<uint8_t>(nonce_value), static_cast<uint8_t>(nonce_value >> 8)};
    Shake256 xof;
    xof.absorb(rho, 64);
    xof.absorb(nonce, 2);
    xof.squeeze(v, sizeof v);
    bit_unpack(y.p[r], v, P::gamma1, P::z_bits);
  }
  ct::wipe(v, sizeof v);
}

#define KYBER_ALG_MLDSA_SAMPLING(P)                              \
  template void expand_a<P>(P::Matrix&, const uint8_t*);         \
  template void expand_s<P>(P::VecL&, P::VecK&, const uint8_t*); \
  template void expand_mask<P>(P::VecL&, const uint8_t*, uint16_t);
KYBER_ALG_MLDSA_SAMPLING(MlDsa44)
KYBER_ALG_MLDSA_SAMPLING(MlDsa65)
KYBER_ALG_MLDSA_SAMPLING(MlDsa87)
#undef KYBER_ALG_MLDSA_SAMPLING

}  // namespace kyber_alg::mldsa
