#include "ml_kem.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "encoding.hpp"
#include "k_pke.hpp"
#include "symmetric.hpp"

namespace kyber_alg::kyber {

namespace {

// Offsets inside dk = dk_pke || ek || H(ek) || z.
constexpr std::size_t dk_ek_offset = dk_pke_bytes;
constexpr std::size_t dk_h_offset = dk_ek_offset + ek_bytes;
constexpr std::size_t dk_z_offset = dk_h_offset + 32;
static_assert(dk_z_offset + 32 == dk_bytes);

// The ek and H(ek) parts of dk are public values (ek is published), so the
// constant-time check may see branches on them, e.g. in SampleNTT.
void declassify_public_parts(const uint8_t dk[dk_bytes]) { ct::declassify(dk + dk_ek_offset, ek_bytes + 32); }

}  // namespace

void ml_kem_keygen_internal(uint8_t ek[ek_bytes], uint8_t dk[dk_bytes], const uint8_t d[32],
                            const uint8_t z[32]) {
  // 1: (ek_pke, dk_pke) <- K-PKE.KeyGen(d)
  k_pke_keygen(ek, dk, d);
  // 2-3: ek = ek_pke; dk = dk_pke || ek || H(ek) || z
  std::memcpy(dk + dk_ek_offset, ek, ek_bytes);
  hash_h(dk + dk_h_offset, ek, ek_bytes);
  std::memcpy(dk + dk_z_offset, z, 32);
}

void ml_kem_encaps_internal(uint8_t key[32], uint8_t c[ct_bytes], const uint8_t ek[ek_bytes],
                            const uint8_t m[32]) {
  // 1: (K, r) <- G(m || H(ek))
  uint8_t h_ek[32];
  hash_h(h_ek, ek, ek_bytes);
  ct::Wiped<uint8_t[64]> k_r;
  hash_g(k_r.value, m, 32, h_ek, 32);
  // 2: c <- K-PKE.Encrypt(ek, m, r)
  k_pke_encrypt(c, ek, m, k_r.value + 32);
  std::memcpy(key, k_r.value, 32);
}

void ml_kem_decaps_internal(uint8_t key[32], const uint8_t dk[dk_bytes], const uint8_t c[ct_bytes]) {
  // 1-4: dk_pke, ek_pke, h, z are slices of dk
  const uint8_t* dk_pke = dk;
  const uint8_t* ek_pke = dk + dk_ek_offset;
  const uint8_t* h = dk + dk_h_offset;
  const uint8_t* z = dk + dk_z_offset;
  declassify_public_parts(dk);

  // 5: m' <- K-PKE.Decrypt(dk_pke, c)
  ct::Wiped<uint8_t[32]> m_prime;
  k_pke_decrypt(m_prime.value, dk_pke, c);

  // 6: (K', r') <- G(m' || h)
  ct::Wiped<uint8_t[64]> k_r;
  hash_g(k_r.value, m_prime.value, 32, h, 32);

  // 7: K_bar <- J(z || c)
  ct::Wiped<uint8_t[32]> k_bar;
  hash_j(k_bar.value, z, 32, c, ct_bytes);

  // 8: c' <- K-PKE.Encrypt(ek_pke, m', r')
  ct::Wiped<uint8_t[ct_bytes]> c_prime;
  k_pke_encrypt(c_prime.value, ek_pke, m_prime.value, k_r.value + 32);

  // 9-11: K' unless c != c', then K_bar; compared and selected without branching
  std::memcpy(key, k_r.value, 32);
  const uint8_t differ = static_cast<uint8_t>(~ct::equal_mask(c, c_prime.value, ct_bytes));
  ct::select(key, k_bar.value, 32, differ);
}

bool ek_modulus_check(const uint8_t ek[ek_bytes]) {
  Poly t;
  bool ok = true;
  for (int i = 0; i < k; ++i) {
    byte_decode_12_raw(t, ek + poly_bytes * i);
    ok &= all_below_q(t);
  }
  return ok;
}

bool dk_hash_check(const uint8_t dk[dk_bytes]) {
  declassify_public_parts(dk);
  uint8_t h[32];
  hash_h(h, dk + dk_ek_offset, ek_bytes);
  return ct::equal_mask(h, dk + dk_h_offset, 32) == 0xff;
}

}  // namespace kyber_alg::kyber
