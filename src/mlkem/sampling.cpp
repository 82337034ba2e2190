#include "mlkem/sampling.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "mlkem/keccak.hpp"
#include "mlkem/symmetric.hpp"

namespace kyber_alg::mlkem {

int parse_uniform(Poly& a, int count, const uint8_t* buf, std::size_t len) {
  std::size_t pos = 0;
  // While two more values fit, store both unconditionally and advance
  // by the acceptance bits: no unpredictable branch per candidate.
  for (; pos + 3 <= len && count <= n - 2; pos += 3) {
    const uint8_t* c = buf + pos;
    const int16_t d1 = static_cast<int16_t>(c[0] | ((c[1] & 0x0f) << 8));
    const int16_t d2 = static_cast<int16_t>((c[1] >> 4) | (c[2] << 4));
    a.c[count] = d1;
    count += d1 < q;
    a.c[count] = d2;
    count += d2 < q;
  }
  // Near the end the second value of a group may not be needed.
  for (; pos + 3 <= len && count < n; pos += 3) {
    const uint8_t* c = buf + pos;
    const int16_t d1 = static_cast<int16_t>(c[0] | ((c[1] & 0x0f) << 8));
    const int16_t d2 = static_cast<int16_t>((c[1] >> 4) | (c[2] << 4));
    if (d1 < q) a.c[count++] = d1;
    if (d2 < q && count < n) a.c[count++] = d2;
  }
  return count;
}

void sample_ntt(Poly& a, const uint8_t rho[32], uint8_t j, uint8_t i) {
  Shake128 xof;
  xof.absorb(rho, 32);
  const uint8_t ji[2] = {j, i};
  xof.absorb(ji, 2);
  uint8_t buf[sample_ntt_first_blocks * Shake128::rate];
  xof.squeeze_blocks(buf, sample_ntt_first_blocks);
  int count = parse_uniform(a, 0, buf, sizeof buf);
  while (count < n) {
    xof.squeeze_blocks(buf, 1);
    count = parse_uniform(a, count, buf, Shake128::rate);
  }
}

template <>
void sample_poly_cbd<2>(Poly& f, const uint8_t* b) {
  // 4 bytes -> 8 coefficients; each coefficient is (x0 + x1) - (y0 + y1)
  // over 4 consecutive bits.
  for (int i = 0; i < n / 8; ++i) {
    const uint32_t w = uint32_t{b[4 * i]} | uint32_t{b[4 * i + 1]} << 8 | uint32_t{b[4 * i + 2]} << 16 |
                       uint32_t{b[4 * i + 3]} << 24;
    const uint32_t pair_sums = (w & 0x55555555u) + ((w >> 1) & 0x55555555u);
    for (int j = 0; j < 8; ++j) {
      const int16_t x = static_cast<int16_t>((pair_sums >> (4 * j)) & 3);
      const int16_t y = static_cast<int16_t>((pair_sums >> (4 * j + 2)) & 3);
      f.c[8 * i + j] = static_cast<int16_t>(x - y);
    }
  }
}

template <>
void sample_poly_cbd<3>(Poly& f, const uint8_t* b) {
  // 3 bytes -> 4 coefficients over 6 consecutive bits each.
  for (int i = 0; i < n / 4; ++i) {
    const uint32_t w = uint32_t{b[3 * i]} | uint32_t{b[3 * i + 1]} << 8 | uint32_t{b[3 * i + 2]} << 16;
    const uint32_t triple_sums = (w & 0x249249u) + ((w >> 1) & 0x249249u) + ((w >> 2) & 0x249249u);
    for (int j = 0; j < 4; ++j) {
      const int16_t x = static_cast<int16_t>((triple_sums >> (6 * j)) & 7);
      const int16_t y = static_cast<int16_t>((triple_sums >> (6 * j + 3)) & 7);
      f.c[4 * i + j] = static_cast<int16_t>(x - y);
    }
  }
}

template <int Eta>
void sample_poly_cbd_prf(Poly& f, const uint8_t seed[32], uint8_t nonce) {
  ct::Wiped<uint8_t[64 * Eta]> buf;
  prf<Eta>(buf.value, seed, nonce);
  sample_poly_cbd<Eta>(f, buf.value);
}

template void sample_poly_cbd_prf<2>(Poly&, const uint8_t*, uint8_t);
template void sample_poly_cbd_prf<3>(Poly&, const uint8_t*, uint8_t);

namespace portable {

template <class P>
void sample_matrix(typename P::PolyMat& a, const uint8_t rho[32]) {
  for (int i = 0; i < P::k; ++i)
    for (int j = 0; j < P::k; ++j) sample_ntt(a[i][j], rho, static_cast<uint8_t>(j), static_cast<uint8_t>(i));
}

template <class P>
void sample_noise_keygen(typename P::PolyVec& s, typename P::PolyVec& e, const uint8_t sigma[32]) {
  for (int i = 0; i < P::k; ++i) sample_poly_cbd_prf<P::eta1>(s[i], sigma, static_cast<uint8_t>(i));
  for (int i = 0; i < P::k; ++i) sample_poly_cbd_prf<P::eta1>(e[i], sigma, static_cast<uint8_t>(P::k + i));
}

template <class P>
void sample_noise_encrypt(typename P::PolyVec& y, typename P::PolyVec& e1, Poly& e2, const uint8_t r[32]) {
  for (int i = 0; i < P::k; ++i) sample_poly_cbd_prf<P::eta1>(y[i], r, static_cast<uint8_t>(i));
  for (int i = 0; i < P::k; ++i) sample_poly_cbd_prf<eta2>(e1[i], r, static_cast<uint8_t>(P::k + i));
  sample_poly_cbd_prf<eta2>(e2, r, static_cast<uint8_t>(2 * P::k));
}

template <class P>
void decaps_hashes(uint8_t k_r[64], uint8_t k_bar[32], EncryptionNoise<P>& noise, const uint8_t m[32],
                   const uint8_t h[32], const uint8_t z[32], const uint8_t c[P::ct_bytes]) {
  hash_g(k_r, m, 32, h, 32);
  mlkem::sample_noise_encrypt<P>(noise.y, noise.e1, noise.e2, k_r + 32);
  hash_j(k_bar, z, 32, c, P::ct_bytes);
}

template void sample_matrix<MlKem512>(MlKem512::PolyMat&, const uint8_t*);
template void sample_noise_keygen<MlKem512>(MlKem512::PolyVec&, MlKem512::PolyVec&, const uint8_t*);
template void sample_noise_encrypt<MlKem512>(MlKem512::PolyVec&, MlKem512::PolyVec&, Poly&, const uint8_t*);
template void decaps_hashes<MlKem512>(uint8_t*, uint8_t*, EncryptionNoise<MlKem512>&, const uint8_t*,
                                      const uint8_t*, const uint8_t*, const uint8_t*);
template void sample_matrix<MlKem768>(MlKem768::PolyMat&, const uint8_t*);
template void sample_noise_keygen<MlKem768>(MlKem768::PolyVec&, MlKem768::PolyVec&, const uint8_t*);
template void sample_noise_encrypt<MlKem768>(MlKem768::PolyVec&, MlKem768::PolyVec&, Poly&, const uint8_t*);
template void decaps_hashes<MlKem768>(uint8_t*, uint8_t*, EncryptionNoise<MlKem768>&, const uint8_t*,
                                      const uint8_t*, const uint8_t*, const uint8_t*);
template void sample_matrix<MlKem1024>(MlKem1024::PolyMat&, const uint8_t*);
template void sample_noise_keygen<MlKem1024>(MlKem1024::PolyVec&, MlKem1024::PolyVec&, const uint8_t*);
template void sample_noise_encrypt<MlKem1024>(MlKem1024::PolyVec&, MlKem1024::PolyVec&, Poly&,
                                              const uint8_t*);
template void decaps_hashes<MlKem1024>(uint8_t*, uint8_t*, EncryptionNoise<MlKem1024>&, const uint8_t*,
                                       const uint8_t*, const uint8_t*, const uint8_t*);

}  // namespace portable

}  // namespace kyber_alg::mlkem
