#include "mlkem/ml_kem.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "mlkem/encoding.hpp"
#include "mlkem/k_pke.hpp"
#include "mlkem/kernels.hpp"
#include "mlkem/sampling.hpp"
#include "mlkem/symmetric.hpp"

namespace kyber_alg::mlkem {

namespace {

// Offsets inside dk = dk_pke || ek || H(ek) || z.
template <class P>
struct DkLayout {
  static constexpr std::size_t ek = P::dk_pke_bytes;
  static constexpr std::size_t h = ek + P::ek_bytes;
  static constexpr std::size_t z = h + 32;
  static_assert(z + 32 == P::dk_bytes);
};

// dk without the hash check: the caller has made it, or checked it.
template <class P>
void decode_decapsulation_key(DecapsulationKey<P>& dk, const uint8_t in[P::dk_bytes]) {
  using L = DkLayout<P>;
  // The ek and H(ek) parts of dk are public values (ek is published), so the
  // constant-time check may see branches on them, e.g. in SampleNTT.
  ct::declassify(in + L::ek, P::ek_bytes + 32);
  decode_decryption_key<P>(dk.pke, in);
  decode_encryption_key<P>(dk.ek.pke, in + L::ek);
  std::memcpy(dk.ek.bytes, in + L::ek, P::ek_bytes);
  std::memcpy(dk.ek.h, in + L::h, 32);
  std::memcpy(dk.z, in + L::z, 32);
}

}  // namespace

template <class P>
void ml_kem_keygen_internal(DecapsulationKey<P>& dk, const uint8_t d[32], const uint8_t z[32]) {
  // 1: (ek_pke, dk_pke) <- K-PKE.KeyGen(d), whose step 1 is (rho, sigma) <- G(d || k)
  ct::Wiped<uint8_t[64]> rho_sigma;
  const uint8_t k_byte = P::k;
  hash_g(rho_sigma.value, d, 32, &k_byte, 1);
  std::memcpy(dk.ek.pke.rho, rho_sigma.value, 32);
  ct::declassify(dk.ek.pke.rho, 32);  // rho is published as part of ek
  // 2-3: ek = ek_pke; dk = dk_pke || ek || H(ek) || z, with the rest of
  // K-PKE.KeyGen and H(ek) in the set's keygen_expand kernel
  kernels->for_set<P>().keygen_expand(dk.ek.pke, dk.pke, dk.ek.bytes, dk.ek.h, rho_sigma.value + 32);
  std::memcpy(dk.z, z, 32);
}

template <class P>
void ml_kem_encaps_internal(uint8_t key[32], uint8_t c[P::ct_bytes], const EncapsulationKey<P>& ek,
                            const uint8_t m[32]) {
  // 1: (K, r) <- G(m || H(ek))
  ct::Wiped<uint8_t[64]> k_r;
  hash_g(k_r.value, m, 32, ek.h, 32);
  // 2: c <- K-PKE.Encrypt(ek, m, r)
  k_pke_encrypt<P>(c, ek.pke, m, k_r.value + 32);
  std::memcpy(key, k_r.value, 32);
}

template <class P>
void ml_kem_decaps_internal(uint8_t key[32], const DecapsulationKey<P>& dk, const uint8_t c[P::ct_bytes]) {
  // 1-4: dk_pke, ek_pke, h and z are the parts of dk.
  // 5: m' <- K-PKE.Decrypt(dk_pke, c)
  ct::Wiped<uint8_t[32]> m_prime;
  k_pke_decrypt<P>(m_prime.value, dk.pke, c);

  // 6-8: (K', r') <- G(m' || h), K_bar <- J(z || c), and c' <- K-PKE.Encrypt(ek_pke, m', r'),
  // whose noise is drawn together with the two hashes.
  ct::Wiped<uint8_t[64]> k_r;
  ct::Wiped<uint8_t[32]> k_bar;
  ct::Wiped<EncryptionNoise<P>> noise;
  decaps_hashes<P>(k_r.value, k_bar.value, noise.value, m_prime.value, dk.ek.h, dk.z, c);
  ct::Wiped<uint8_t[P::ct_bytes]> c_prime;
  k_pke_encrypt_with_noise<P>(c_prime.value, dk.ek.pke, m_prime.value, noise.value);

  // 9-11: K' unless c != c', then K_bar; compared and selected without branching
  std::memcpy(key, k_r.value, 32);
  const uint8_t differ = static_cast<uint8_t>(~ct::equal_mask(c, c_prime.value, P::ct_bytes));
  ct::select(key, k_bar.value, 32, differ);
}

template <class P>
bool read_encapsulation_key(EncapsulationKey<P>& ek, const uint8_t in[P::ek_bytes]) {
  if (!decode_encryption_key<P>(ek.pke, in)) return false;
  std::memcpy(ek.bytes, in, P::ek_bytes);
  hash_h(ek.h, in, P::ek_bytes);
  return true;
}

template <class P>
bool read_decapsulation_key(DecapsulationKey<P>& dk, const uint8_t in[P::dk_bytes]) {
  if (!dk_hash_check<P>(in)) return false;
  decode_decapsulation_key<P>(dk, in);
  return true;
}

template <class P>
void write_decapsulation_key(uint8_t out[P::dk_bytes], const DecapsulationKey<P>& dk) {
  using L = DkLayout<P>;
  encode_decryption_key<P>(out, dk.pke);
  std::memcpy(out + L::ek, dk.ek.bytes, P::ek_bytes);
  std::memcpy(out + L::h, dk.ek.h, 32);
  std::memcpy(out + L::z, dk.z, 32);
}

template <class P>
void ml_kem_keygen_internal(uint8_t ek[P::ek_bytes], uint8_t dk[P::dk_bytes], const uint8_t d[32],
                            const uint8_t z[32]) {
  ct::Wiped<DecapsulationKey<P>> key;
  ml_kem_keygen_internal<P>(key.value, d, z);
  std::memcpy(ek, key.value.ek.bytes, P::ek_bytes);
  write_decapsulation_key<P>(dk, key.value);
}

template <class P>
void ml_kem_encaps_internal(uint8_t key[32], uint8_t c[P::ct_bytes], const uint8_t ek[P::ek_bytes],
                            const uint8_t m[32]) {
  EncapsulationKey<P> parsed;
  read_encapsulation_key<P>(parsed, ek);
  ml_kem_encaps_internal<P>(key, c, parsed, m);
}

template <class P>
void ml_kem_decaps_internal(uint8_t key[32], const uint8_t dk[P::dk_bytes], const uint8_t c[P::ct_bytes]) {
  ct::Wiped<DecapsulationKey<P>> parsed;
  decode_decapsulation_key<P>(parsed.value, dk);
  ml_kem_decaps_internal<P>(key, parsed.value, c);
}

template <class P>
bool ek_modulus_check(const uint8_t ek[P::ek_bytes]) {
  ct::declassify(ek, P::ek_bytes);  // ek is public, also where it is read out of dk
  Poly t;
  bool ok = true;
  for (int i = 0; i < P::k; ++i) {
    byte_decode_12_raw(t, ek + poly_bytes * i);
    ok &= all_below_q(t);
  }
  return ok;
}

template <class P>
bool dk_hash_check(const uint8_t dk[P::dk_bytes]) {
  using L = DkLayout<P>;
  ct::declassify(dk + L::ek, P::ek_bytes + 32);  // public parts, as in decode_decapsulation_key
  uint8_t h[32];
  hash_h(h, dk + L::ek, P::ek_bytes);
  return ct::equal_mask(h, dk + L::h, 32) == 0xff;
}

#define KYBER_ALG_ML_KEM(P)                                                                                \
  template void ml_kem_keygen_internal<P>(DecapsulationKey<P>&, const uint8_t*, const uint8_t*);           \
  template void ml_kem_encaps_internal<P>(uint8_t*, uint8_t*, const EncapsulationKey<P>&, const uint8_t*); \
  template void ml_kem_decaps_internal<P>(uint8_t*, const DecapsulationKey<P>&, const uint8_t*);           \
  template bool read_encapsulation_key<P>(EncapsulationKey<P>&, const uint8_t*);                           \
  template bool read_decapsulation_key<P>(DecapsulationKey<P>&, const uint8_t*);                           \
  template void write_decapsulation_key<P>(uint8_t*, const DecapsulationKey<P>&);                          \
  template void ml_kem_keygen_internal<P>(uint8_t*, uint8_t*, const uint8_t*, const uint8_t*);             \
  template void ml_kem_encaps_internal<P>(uint8_t*, uint8_t*, const uint8_t*, const uint8_t*);             \
  template void ml_kem_decaps_internal<P>(uint8_t*, const uint8_t*, const uint8_t*);                       \
  template bool ek_modulus_check<P>(const uint8_t*);                                                       \
  template bool dk_hash_check<P>(const uint8_t*);
KYBER_ALG_ML_KEM(MlKem512)
KYBER_ALG_ML_KEM(MlKem768)
KYBER_ALG_ML_KEM(MlKem1024)
#undef KYBER_ALG_ML_KEM

}  // namespace kyber_alg::mlkem
