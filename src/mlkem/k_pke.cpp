#include "k_pke.hpp"

#include "common/ct.hpp"
#include "encoding.hpp"
#include "ntt.hpp"
#include "sampling.hpp"
#include "symmetric.hpp"

namespace kyber_alg::kyber {

namespace {

template <int Eta>
void sample_cbd_from_prf(Poly& f, const uint8_t seed[32], uint8_t& counter) {
  ct::Wiped<uint8_t[64 * Eta]> buf;
  prf<Eta>(buf.value, seed, counter++);
  sample_poly_cbd<Eta>(f, buf.value);
}

// out = sum_j m[j] x v[j] in T_q, still carrying the 2^-16 of multiply_ntts.
void inner_product(Poly& out, const PolyVec& m, const PolyVec& v) {
  multiply_ntts(out, m[0], v[0]);
  for (int j = 1; j < k; ++j) multiply_ntts_add(out, m[j], v[j]);
}

}  // namespace

void k_pke_keygen(uint8_t ek_pke[ek_pke_bytes], uint8_t dk_pke[dk_pke_bytes], const uint8_t d[32]) {
  // 1: (rho, sigma) <- G(d || k)
  ct::Wiped<uint8_t[64]> rho_sigma;
  const uint8_t k_byte = k;
  hash_g(rho_sigma.value, d, 32, &k_byte, 1);
  const uint8_t* rho = rho_sigma.value;
  const uint8_t* sigma = rho_sigma.value + 32;
  ct::declassify(rho, 32);  // rho is published as part of ek

  // 3-7: A_hat
  PolyMat a_hat;
  sample_matrix(a_hat, rho, false);

  // 8-15: s, e from CBD_eta1
  ct::Wiped<PolyVec> s, e;
  static_assert(k == 2, "s and e are exactly the four polynomials of one sample_noise_x4");
  sample_noise_x4<eta1, eta1>(s.value[0], s.value[1], e.value[0], e.value[1], sigma, 0);

  // 16-17: s_hat = NTT(s), e_hat = NTT(e)
  for (Poly& p : s.value) ntt(p), poly_reduce(p);
  for (Poly& p : e.value) ntt(p);

  // 18: t_hat = A_hat o s_hat + e_hat
  PolyVec t_hat;
  for (int i = 0; i < k; ++i) {
    inner_product(t_hat[i], a_hat[i], s.value);
    to_montgomery(t_hat[i]);
    poly_add(t_hat[i], e.value[i]);
    poly_canonical(t_hat[i]);
  }

  // 19-20: ek_pke = ByteEncode_12(t_hat) || rho, dk_pke = ByteEncode_12(s_hat)
  for (int i = 0; i < k; ++i) {
    byte_encode<12>(ek_pke + poly_bytes * i, t_hat[i]);
    poly_canonical(s.value[i]);
    byte_encode<12>(dk_pke + poly_bytes * i, s.value[i]);
  }
  for (int i = 0; i < 32; ++i) ek_pke[poly_bytes * k + i] = rho[i];
  ct::wipe_object(t_hat);  // secret until the caller publishes ek
}

void k_pke_encrypt(uint8_t c[ct_bytes], const uint8_t ek_pke[ek_pke_bytes], const uint8_t m[32],
                   const uint8_t r[32]) {
  // 2-3: t_hat = ByteDecode_12(ek_pke[0 : 384k]), rho = ek_pke[384k : 384k+32]
  PolyVec t_hat;
  for (int i = 0; i < k; ++i) byte_decode_12(t_hat[i], ek_pke + poly_bytes * i);
  const uint8_t* rho = ek_pke + poly_bytes * k;

  // 4-8: A_hat, used transposed below
  PolyMat a_hat_t;
  sample_matrix(a_hat_t, rho, true);

  // 9-17: y from CBD_eta1, e1 and e2 from CBD_eta2
  ct::Wiped<PolyVec> y, e1;
  ct::Wiped<Poly> e2;
  sample_noise_x4<eta1, eta2>(y.value[0], y.value[1], e1.value[0], e1.value[1], r, 0);
  uint8_t counter = 2 * k;
  sample_cbd_from_prf<eta2>(e2.value, r, counter);

  // 18: y_hat = NTT(y)
  for (Poly& p : y.value) ntt(p);

  // 19: u = NTT^-1(A_hat^T o y_hat) + e1
  ct::Wiped<PolyVec> u;
  for (int i = 0; i < k; ++i) {
    inner_product(u.value[i], a_hat_t[i], y.value);
    ntt_inverse(u.value[i]);
    poly_add(u.value[i], e1.value[i]);
    poly_canonical(u.value[i]);
  }

  // 20: mu = Decompress_1(ByteDecode_1(m))
  ct::Wiped<Poly> v;
  ct::Wiped<Poly> mu;
  byte_decode<1>(mu.value, m);
  decompress<1>(mu.value);

  // 21: v = NTT^-1(t_hat^T o y_hat) + e2 + mu
  inner_product(v.value, t_hat, y.value);
  ntt_inverse(v.value);
  poly_add(v.value, e2.value);
  poly_add(v.value, mu.value);
  poly_canonical(v.value);

  // 22-23: c1 = ByteEncode_du(Compress_du(u)), c2 = ByteEncode_dv(Compress_dv(v))
  for (int i = 0; i < k; ++i) {
    compress<du>(u.value[i]);
    byte_encode<du>(c + 32 * du * i, u.value[i]);
  }
  compress<dv>(v.value);
  byte_encode<dv>(c + c1_bytes, v.value);
}

void k_pke_decrypt(uint8_t m[32], const uint8_t dk_pke[dk_pke_bytes], const uint8_t c[ct_bytes]) {
  // 3: u' = Decompress_du(ByteDecode_du(c1))
  PolyVec u;
  for (int i = 0; i < k; ++i) {
    byte_decode<du>(u[i], c + 32 * du * i);
    decompress<du>(u[i]);
  }
  // 4: v' = Decompress_dv(ByteDecode_dv(c2))
  Poly v;
  byte_decode<dv>(v, c + c1_bytes);
  decompress<dv>(v);

  // 5: s_hat = ByteDecode_12(dk_pke)
  ct::Wiped<PolyVec> s_hat;
  for (int i = 0; i < k; ++i) byte_decode_12(s_hat.value[i], dk_pke + poly_bytes * i);

  // 6: w = v' - NTT^-1(s_hat^T o NTT(u'))
  for (Poly& p : u) ntt(p);
  ct::Wiped<Poly> w;
  inner_product(w.value, s_hat.value, u);
  ntt_inverse(w.value);
  for (int i = 0; i < n; ++i) w.value.c[i] = static_cast<int16_t>(v.c[i] - w.value.c[i]);
  poly_canonical(w.value);

  // 7: m = ByteEncode_1(Compress_1(w))
  compress<1>(w.value);
  byte_encode<1>(m, w.value);
}

}  // namespace kyber_alg::kyber
