#include "mldsa/ml_dsa.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "mldsa/kernels.hpp"
#include "mldsa/reduce.hpp"
#include "mldsa/rounding.hpp"
#include "mldsa/sampling.hpp"
#include "mlkem/keccak.hpp"

namespace kyber_alg::mldsa {

using mlkem::Shake256;

namespace {

template <class Vec>
void ntt_all(Vec& v) {
  for (Poly& p : v.p) kernels->ntt(p);
}

template <class Vec>
void ntt_inverse_all(Vec& v) {
  for (Poly& p : v.p) kernels->ntt_inverse(p);
}

// out = NTT^-1(A_hat * v_hat).
template <class P>
void matrix_times(typename P::VecK& out, const typename P::Matrix& a_hat, const typename P::VecL& v_hat) {
  for (int i = 0; i < P::k; ++i) {
    kernels->pointwise_montgomery(out.p[i], a_hat.row[i].p[0], v_hat.p[0]);
    for (int j = 1; j < P::l; ++j) kernels->pointwise_accumulate(out.p[i], a_hat.row[i].p[j], v_hat.p[j]);
    kernels->ntt_inverse(out.p[i]);
  }
}

// out[i] = NTT^-1(c_hat * v_hat[i]).
template <class Vec>
void scalar_times(Vec& out, const Poly& c_hat, const Vec& v_hat) {
  for (std::size_t i = 0; i < sizeof out.p / sizeof out.p[0]; ++i) {
    kernels->pointwise_montgomery(out.p[i], c_hat, v_hat.p[i]);
    kernels->ntt_inverse(out.p[i]);
  }
}

// Bit 31 set if some coefficient (reduced to mod± q) has |x| >= bound.
template <class Vec>
int32_t norm_reaches(const Vec& v, int32_t bound) {
  int32_t over = 0;
  for (const Poly& p : v.p)
    for (int32_t x : p.c) over |= (bound - 1) - abs_value(centered(x));
  return over;
}

void h(uint8_t* out, std::size_t out_len, const uint8_t* a, std::size_t a_len, const uint8_t* b = nullptr,
       std::size_t b_len = 0) {
  Shake256 xof;
  xof.absorb(a, a_len);
  if (b_len) xof.absorb(b, b_len);
  xof.squeeze(out, out_len);
}

// t = NTT^-1(A_hat * NTT(s1)) + s2 split by Power2Round into t1, t0; the
// public key pkEncode(rho, t1) and tr = H(pk). Keeps s1_hat on the way.
template <class P>
void derive_t(PrivateKey<P>& sk, typename P::VecK& t0, uint8_t tr[64]) {
  typename P::VecK t, t1;
  sk.s1_hat = sk.parts.s1;
  ntt_all(sk.s1_hat);
  matrix_times<P>(t, sk.a_hat, sk.s1_hat);
  for (int i = 0; i < P::k; ++i) {
    for (int j = 0; j < n; ++j) {
      const Split s = power2round(freeze(t.p[i].c[j] + sk.parts.s2.p[i].c[j]));
      t1.p[i].c[j] = s.high;
      t0.p[i].c[j] = s.low;
    }
  }
  ct::declassify(&t1, sizeof t1);  // the public key
  pk_encode<P>(sk.pk, sk.parts.rho, t1);
  h(tr, 64, sk.pk, P::pk_bytes);
  ct::wipe_object(t);
}

// The NTT forms signing uses.
template <class P>
void prepare_signing(PrivateKey<P>& sk) {
  sk.s2_hat = sk.parts.s2;
  ntt_all(sk.s2_hat);
  sk.t0_hat = sk.parts.t0;
  ntt_all(sk.t0_hat);
}

}  // namespace

template <class P>
void ml_dsa_keygen_internal(PrivateKey<P>& sk, const uint8_t xi[32]) {
  // (rho, rho', K) = H(xi || k || l, 128)
  uint8_t seeds[128];
  const uint8_t kl[2] = {static_cast<uint8_t>(P::k), static_cast<uint8_t>(P::l)};
  h(seeds, sizeof seeds, xi, 32, kl, 2);
  ct::declassify(seeds, 32);  // rho is part of the public key
  std::memcpy(sk.parts.rho, seeds, 32);
  std::memcpy(sk.parts.key, seeds + 96, 32);
  expand_a<P>(sk.a_hat, sk.parts.rho);
  expand_s<P>(sk.parts.s1, sk.parts.s2, seeds + 32);
  derive_t<P>(sk, sk.parts.t0, sk.parts.tr);
  prepare_signing<P>(sk);
  ct::wipe(seeds, sizeof seeds);
}

template <class P>
ReadResult read_private_key(PrivateKey<P>& sk, const uint8_t in[P::sk_bytes]) {
  uint8_t in_range = sk_decode<P>(sk.parts, in);
  ct::declassify(&in_range, 1);  // a key that fails is refused, which is public
  if (!in_range) return ReadResult::out_of_range;
  ct::declassify(sk.parts.rho, 32);  // part of the public key
  expand_a<P>(sk.a_hat, sk.parts.rho);
  ct::Wiped<typename P::VecK> t0;
  uint8_t tr[64];
  derive_t<P>(sk, t0.value, tr);
  uint8_t consistent = ct::equal_mask(reinterpret_cast<const uint8_t*>(&t0.value),
                                      reinterpret_cast<const uint8_t*>(&sk.parts.t0), sizeof t0.value) &
                       ct::equal_mask(tr, sk.parts.tr, 64);
  ct::declassify(&consistent, 1);
  if (!consistent) return ReadResult::inconsistent;
  prepare_signing<P>(sk);
  return ReadResult::ok;
}

template <class P>
void read_public_key(PublicKey<P>& pk, const uint8_t in[P::pk_bytes]) {
  std::memcpy(pk.bytes, in, P::pk_bytes);
  uint8_t rho[32];
  pk_decode<P>(rho, pk.t1_hat, in);
  for (Poly& p : pk.t1_hat.p)
    for (int32_t& x : p.c) x <<= d;
  ntt_all(pk.t1_hat);
  expand_a<P>(pk.a_hat, rho);
  h(pk.tr, 64, in, P::pk_bytes);
}

void message_representative(uint8_t mu[64], const uint8_t tr[64], const uint8_t* prefix,
                            std::size_t prefix_len, const uint8_t* message, std::size_t message_len) {
  Shake256 xof;
  xof.absorb(tr, 64);
  xof.absorb(prefix, prefix_len);
  xof.absorb(message, message_len);
  xof.squeeze(mu, 64);
}

namespace {

// What one candidate of Algorithm 7's loop works on; wiped when signing ends.
template <class P>
struct SigningState {
  uint8_t rho2[64];  // rho''
  typename P::VecL y, z;
  typename P::VecK w, w1, cs2, ct0, hint;
  Poly c;
  uint8_t c_tilde[P::c_tilde_bytes];
  uint8_t w1_bytes[P::k * P::w1_poly_bytes];
};

// Steps 11-30 for the candidate of counter kappa: true with z, h, c_tilde
// set if it is kept. Whether it is kept is public (FIPS 204 section 3.4: the
// rejected candidates are not revealed, only their number).
template <class P>
bool try_candidate(SigningState<P>& st, const PrivateKey<P>& sk, const uint8_t mu[64], uint16_t kappa) {
  constexpr int32_t gamma2 = P::gamma2;
  expand_mask<P>(st.y, st.rho2, kappa);
  st.z = st.y;
  ntt_all(st.z);
  matrix_times<P>(st.w, sk.a_hat, st.z);
  for (int i = 0; i < P::k; ++i)
    for (int j = 0; j < n; ++j) {
      st.w.p[i].c[j] = freeze(st.w.p[i].c[j]);
      st.w1.p[i].c[j] = high_bits<gamma2>(st.w.p[i].c[j]);
    }
  w1_encode<P>(st.w1_bytes, st.w1);
  h(st.c_tilde, P::c_tilde_bytes, mu, 64, st.w1_bytes, sizeof st.w1_bytes);
  sample_in_ball(st.c, st.c_tilde, P::c_tilde_bytes, P::tau);
  kernels->ntt(st.c);
  scalar_times(st.z, st.c, sk.s1_hat);  // <<c s1>>
  for (int i = 0; i < P::l; ++i)
    for (int j = 0; j < n; ++j) st.z.p[i].c[j] = centered(st.z.p[i].c[j] + st.y.p[i].c[j]);
  scalar_times(st.cs2, st.c, sk.s2_hat);
  // r0 = LowBits(w - <<c s2>>); w - <<c s2>> is kept in cs2.
  int32_t reject = norm_reaches(st.z, P::gamma1 - P::beta);
  for (int i = 0; i < P::k; ++i)
    for (int j = 0; j < n; ++j) {
      const int32_t r = freeze(st.w.p[i].c[j] - st.cs2.p[i].c[j]);
      st.cs2.p[i].c[j] = r;
      reject |= (gamma2 - P::beta - 1) - abs_value(decompose<gamma2>(r).low);
    }
  scalar_times(st.ct0, st.c, sk.t0_hat);
  reject |= norm_reaches(st.ct0, gamma2);
  int32_t ones = 0;
  for (int i = 0; i < P::k; ++i)
    for (int j = 0; j < n; ++j) {
      // h = MakeHint(-<<c t0>>, w - <<c s2>> + <<c t0>>)
      const int32_t ct0 = st.ct0.p[i].c[j];
      st.hint.p[i].c[j] = make_hint<gamma2>(-ct0, st.cs2.p[i].c[j] + ct0);
      ones += st.hint.p[i].c[j];
    }
  reject |= P::omega - ones;
  uint8_t rejected = static_cast<uint8_t>(static_cast<uint32_t>(reject) >> 31);
  ct::declassify(&rejected, 1);
  return !rejected;
}

}  // namespace

template <class P>
void ml_dsa_sign_internal(uint8_t sig[P::sig_bytes], const PrivateKey<P>& sk, const uint8_t mu[64],
                          const uint8_t rnd[32]) {
  ct::Wiped<SigningState<P>> state;
  SigningState<P>& st = state.value;
  {
    // rho'' = H(K || rnd || mu, 64)
    Shake256 xof;
    xof.absorb(sk.parts.key, 32);
    xof.absorb(rnd, 32);
    xof.absorb(mu, 64);
    xof.squeeze(st.rho2, 64);
  }
  uint16_t kappa = 0;
  while (!try_candidate<P>(st, sk, mu, kappa)) kappa = static_cast<uint16_t>(kappa + P::l);
  // The kept candidate is the signature.
  ct::declassify(&st.z, sizeof st.z);
  ct::declassify(&st.hint, sizeof st.hint);
  ct::declassify(st.c_tilde, sizeof st.c_tilde);
  sig_encode<P>(sig, st.c_tilde, st.z, st.hint);
}

template <class P>
bool ml_dsa_verify_internal(const PublicKey<P>& pk, const uint8_t sig[P::sig_bytes], const uint8_t mu[64]) {
  uint8_t c_tilde[P::c_tilde_bytes];
  typename P::VecL z;
  typename P::VecK hint, w;
  if (!sig_decode<P>(c_tilde, z, hint, sig)) return false;
  if (norm_reaches(z, P::gamma1 - P::beta) < 0) return false;
  Poly c;
  sample_in_ball(c, c_tilde, P::c_tilde_bytes, P::tau);
  kernels->ntt(c);
  ntt_all(z);
  // w'_approx = NTT^-1(A_hat * NTT(z) - NTT(c) * NTT(t1 * 2^d))
  for (int i = 0; i < P::k; ++i) {
    Poly& wi = w.p[i];
    Poly ct1;
    kernels->pointwise_montgomery(ct1, c, pk.t1_hat.p[i]);
    kernels->pointwise_montgomery(wi, pk.a_hat.row[i].p[0], z.p[0]);
    for (int j = 1; j < P::l; ++j) kernels->pointwise_accumulate(wi, pk.a_hat.row[i].p[j], z.p[j]);
    for (int j = 0; j < n; ++j) wi.c[j] -= ct1.c[j];
    kernels->ntt_inverse(wi);
    for (int j = 0; j < n; ++j) wi.c[j] = use_hint<P::gamma2>(hint.p[i].c[j], freeze(wi.c[j]));
  }
  uint8_t w1_bytes[P::k * P::w1_poly_bytes];
  w1_encode<P>(w1_bytes, w);
  uint8_t expected[P::c_tilde_bytes];
  h(expected, sizeof expected, mu, 64, w1_bytes, sizeof w1_bytes);
  return std::memcmp(expected, c_tilde, sizeof expected) == 0;
}

#define KYBER_ALG_MLDSA(P)                                                                               \
  template void ml_dsa_keygen_internal<P>(PrivateKey<P>&, const uint8_t*);                               \
  template ReadResult read_private_key<P>(PrivateKey<P>&, const uint8_t*);                               \
  template void read_public_key<P>(PublicKey<P>&, const uint8_t*);                                       \
  template void ml_dsa_sign_internal<P>(uint8_t*, const PrivateKey<P>&, const uint8_t*, const uint8_t*); \
  template bool ml_dsa_verify_internal<P>(const PublicKey<P>&, const uint8_t*, const uint8_t*);
KYBER_ALG_MLDSA(MlDsa44)
KYBER_ALG_MLDSA(MlDsa65)
KYBER_ALG_MLDSA(MlDsa87)
#undef KYBER_ALG_MLDSA

}  // namespace kyber_alg::mldsa
