#include "mlkem/k_pke.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "mlkem/encoding.hpp"
#include "mlkem/ntt.hpp"
#include "mlkem/sampling.hpp"
#include "mlkem/symmetric.hpp"

namespace kyber_alg::mlkem {

namespace {

// The multiply caches of a vector that is the right-hand factor of several products.
template <class P>
void mul_caches(typename P::MulCacheVec& caches, const typename P::PolyVec& v) {
  for (int j = 0; j < P::k; ++j) mul_cache(caches[j], v[j]);
}

// Row i (or, transposed, column i) of a matrix as the left-hand factors of multiply_accumulate.
template <class P>
void matrix_line(const Poly* line[P::k], const typename P::PolyMat& a, int i, bool transposed) {
  for (int j = 0; j < P::k; ++j) line[j] = transposed ? &a[j][i] : &a[i][j];
}

template <class P>
void vector_factors(const Poly* factors[P::k], const typename P::PolyVec& v) {
  for (int j = 0; j < P::k; ++j) factors[j] = &v[j];
}

}  // namespace

template <class P>
void keygen_transform_s(typename P::PolyVec& s, typename P::MulCacheVec& s_cache) {
  // 16: s_hat = NTT(s)
  for (Poly& p : s) ntt(p);
  mul_caches<P>(s_cache, s);
}

template <class P>
void keygen_row(PkeEncryptionKey<P>& ek, int i, const typename P::PolyVec& s_hat,
                const typename P::MulCacheVec& s_cache, Poly& e_i) {
  // 17: e_hat[i] = NTT(e[i]); 18: t_hat[i] = (A_hat o s_hat)[i] + e_hat[i]
  ntt(e_i);
  const Poly* row[P::k];
  matrix_line<P>(row, ek.a_hat, i, false);
  multiply_accumulate<P>(ek.t_hat[i], row, s_hat, s_cache);
  to_montgomery(ek.t_hat[i]);
  poly_add(ek.t_hat[i], e_i);
  poly_canonical(ek.t_hat[i]);
}

template <class P>
void keygen_finish_s(typename P::PolyVec& s_hat) {
  for (Poly& p : s_hat) poly_canonical(p);
}

template <class P>
void k_pke_keygen_expand(PkeEncryptionKey<P>& ek, PkeDecryptionKey<P>& dk, uint8_t ek_bytes[P::ek_bytes],
                         uint8_t h[32], const uint8_t sigma[32]) {
  // 3-7: A_hat
  sample_matrix<P>(ek.a_hat, ek.rho);
  // 8-15: s, e from CBD_eta1
  ct::Wiped<typename P::PolyVec> e;
  sample_noise_keygen<P>(dk.s_hat, e.value, sigma);
  // 16-18: t_hat = A_hat o NTT(s) + NTT(e)
  ct::Wiped<typename P::MulCacheVec> s_cache;
  keygen_transform_s<P>(dk.s_hat, s_cache.value);
  for (int i = 0; i < P::k; ++i) keygen_row<P>(ek, i, dk.s_hat, s_cache.value, e.value[i]);
  keygen_finish_s<P>(dk.s_hat);
  // 19: ek_pke = ByteEncode_12(t_hat) || rho, and ML-KEM.KeyGen's H(ek)
  encode_encryption_key<P>(ek_bytes, ek);
  hash_h(h, ek_bytes, P::ek_bytes);
}

template <class P>
void k_pke_encrypt(uint8_t c[P::ct_bytes], const PkeEncryptionKey<P>& ek, const uint8_t m[32],
                   const uint8_t r[32]) {
  // 9-17: y from CBD_eta1, e1 and e2 from CBD_eta2
  ct::Wiped<EncryptionNoise<P>> noise;
  sample_noise_encrypt<P>(noise.value.y, noise.value.e1, noise.value.e2, r);
  k_pke_encrypt_with_noise<P>(c, ek, m, noise.value);
}

template <class P>
void k_pke_encrypt_with_noise(uint8_t c[P::ct_bytes], const PkeEncryptionKey<P>& ek, const uint8_t m[32],
                              EncryptionNoise<P>& noise) {
  using PolyVec = typename P::PolyVec;
  typename P::PolyVec& y = noise.y;
  // 18: y_hat = NTT(y)
  for (Poly& p : y) ntt(p);
  ct::Wiped<typename P::MulCacheVec> y_cache;
  mul_caches<P>(y_cache.value, y);

  // 19: u = NTT^-1(A_hat^T o y_hat) + e1
  ct::Wiped<PolyVec> u;
  for (int i = 0; i < P::k; ++i) {
    const Poly* column[P::k];
    matrix_line<P>(column, ek.a_hat, i, true);
    multiply_accumulate<P>(u.value[i], column, y, y_cache.value);
    ntt_inverse(u.value[i]);
    poly_add(u.value[i], noise.e1[i]);
    poly_canonical(u.value[i]);
  }

  // 20: mu = Decompress_1(ByteDecode_1(m))
  ct::Wiped<Poly> mu;
  decode_decompress<1>(mu.value, m);

  // 21: v = NTT^-1(t_hat^T o y_hat) + e2 + mu
  ct::Wiped<Poly> v;
  const Poly* t_hat[P::k];
  vector_factors<P>(t_hat, ek.t_hat);
  multiply_accumulate<P>(v.value, t_hat, y, y_cache.value);
  ntt_inverse(v.value);
  poly_add(v.value, noise.e2);
  poly_add(v.value, mu.value);
  poly_canonical(v.value);

  // 22-23: c1 = ByteEncode_du(Compress_du(u)), c2 = ByteEncode_dv(Compress_dv(v))
  for (int i = 0; i < P::k; ++i) compress_encode<P::du>(c + 32 * P::du * i, u.value[i]);
  compress_encode<P::dv>(c + P::c1_bytes, v.value);
}

template <class P>
void k_pke_decrypt(uint8_t m[32], const PkeDecryptionKey<P>& dk, const uint8_t c[P::ct_bytes]) {
  // 3: u' = Decompress_du(ByteDecode_du(c1))
  typename P::PolyVec u;
  for (int i = 0; i < P::k; ++i) decode_decompress<P::du>(u[i], c + 32 * P::du * i);
  // 4: v' = Decompress_dv(ByteDecode_dv(c2))
  Poly v;
  decode_decompress<P::dv>(v, c + P::c1_bytes);

  // 6: w = v' - NTT^-1(s_hat^T o NTT(u'))   (5, s_hat, is decoded already)
  for (Poly& p : u) ntt(p);
  typename P::MulCacheVec u_cache;
  mul_caches<P>(u_cache, u);
  const Poly* s_hat[P::k];
  vector_factors<P>(s_hat, dk.s_hat);
  ct::Wiped<Poly> w;
  multiply_accumulate<P>(w.value, s_hat, u, u_cache);
  ntt_inverse(w.value);
  for (int i = 0; i < n; ++i) w.value.c[i] = static_cast<int16_t>(v.c[i] - w.value.c[i]);
  poly_canonical(w.value);

  // 7: m = ByteEncode_1(Compress_1(w))
  compress_encode<1>(m, w.value);
}

template <class P>
void encode_encryption_key(uint8_t out[P::ek_bytes], const PkeEncryptionKey<P>& ek) {
  for (int i = 0; i < P::k; ++i) byte_encode_12(out + poly_bytes * i, ek.t_hat[i]);
  std::memcpy(out + P::dk_pke_bytes, ek.rho, 32);
}

template <class P>
bool decode_encryption_key(PkeEncryptionKey<P>& ek, const uint8_t in[P::ek_bytes]) {
  bool below_q = true;
  for (int i = 0; i < P::k; ++i) {
    byte_decode_12_raw(ek.t_hat[i], in + poly_bytes * i);
    below_q &= all_below_q(ek.t_hat[i]);
    poly_canonical(ek.t_hat[i]);  // raw values are below 4096 < 2q: this takes them mod q
  }
  std::memcpy(ek.rho, in + P::dk_pke_bytes, 32);
  sample_matrix<P>(ek.a_hat, ek.rho);
  return below_q;
}

template <class P>
void encode_decryption_key(uint8_t out[P::dk_pke_bytes], const PkeDecryptionKey<P>& dk) {
  for (int i = 0; i < P::k; ++i) byte_encode_12(out + poly_bytes * i, dk.s_hat[i]);
}

template <class P>
void decode_decryption_key(PkeDecryptionKey<P>& dk, const uint8_t in[P::dk_pke_bytes]) {
  for (int i = 0; i < P::k; ++i) byte_decode_12(dk.s_hat[i], in + poly_bytes * i);
}

#define KYBER_ALG_K_PKE(P)                                                                                 \
  template void k_pke_keygen_expand<P>(PkeEncryptionKey<P>&, PkeDecryptionKey<P>&, uint8_t*, uint8_t*,     \
                                       const uint8_t*);                                                    \
  template void keygen_transform_s<P>(P::PolyVec&, P::MulCacheVec&);                                       \
  template void keygen_row<P>(PkeEncryptionKey<P>&, int, const P::PolyVec&, const P::MulCacheVec&, Poly&); \
  template void keygen_finish_s<P>(P::PolyVec&);                                                           \
  template void k_pke_encrypt<P>(uint8_t*, const PkeEncryptionKey<P>&, const uint8_t*, const uint8_t*);    \
  template void k_pke_encrypt_with_noise<P>(uint8_t*, const PkeEncryptionKey<P>&, const uint8_t*,          \
                                            EncryptionNoise<P>&);                                          \
  template void k_pke_decrypt<P>(uint8_t*, const PkeDecryptionKey<P>&, const uint8_t*);                    \
  template void encode_encryption_key<P>(uint8_t*, const PkeEncryptionKey<P>&);                            \
  template bool decode_encryption_key<P>(PkeEncryptionKey<P>&, const uint8_t*);                            \
  template void encode_decryption_key<P>(uint8_t*, const PkeDecryptionKey<P>&);                            \
  template void decode_decryption_key<P>(PkeDecryptionKey<P>&, const uint8_t*);
KYBER_ALG_K_PKE(MlKem512)
KYBER_ALG_K_PKE(MlKem768)
KYBER_ALG_K_PKE(MlKem1024)
#undef KYBER_ALG_K_PKE

}  // namespace kyber_alg::mlkem
