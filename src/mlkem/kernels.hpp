// The ML-KEM functions that have vector versions, gathered in one table of
// function pointers per code path. Callers go through `kernels`, which holds
// the best path this CPU runs (tests may switch it); every path gives
// bit-for-bit the same results.
#pragma once

#include <cstdint>

#include "common/cpu.hpp"
#include "common/dispatch.hpp"
#include "mlkem/k_pke.hpp"
#include "mlkem/params.hpp"

namespace kyber_alg::mlkem {

// The kernels that depend on the parameter set, one build per set and path.
template <class P>
struct SetKernels {
  using PolyVec = typename P::PolyVec;

  // K-PKE.KeyGen after G, and H(ek) (k_pke.hpp, k_pke_keygen_expand).
  void (*keygen_expand)(PkeEncryptionKey<P>& ek, PkeDecryptionKey<P>& dk, uint8_t ek_bytes[P::ek_bytes],
                        uint8_t h[32], const uint8_t sigma[32]);
  // A_hat[i][j] = SampleNTT(rho || j || i) for all i, j (K-PKE.KeyGen steps 3-7).
  void (*sample_matrix)(typename P::PolyMat& a, const uint8_t rho[32]);
  // K-PKE.KeyGen steps 8-15: s[i] and e[i] from CBD_eta1(PRF(sigma, i)) and PRF(sigma, k + i).
  void (*sample_noise_keygen)(PolyVec& s, PolyVec& e, const uint8_t sigma[32]);
  // K-PKE.Encrypt steps 9-17: y (eta1, nonces 0..k-1), e1 (eta2, k..2k-1), e2 (eta2, 2k).
  void (*sample_noise_encrypt)(PolyVec& y, PolyVec& e1, Poly& e2, const uint8_t r[32]);
  // The hashing of ML-KEM.Decaps steps 6-8: (K', r') = G(m' || h), the
  // noise of the re-encryption from r', and K_bar = J(z || c).
  void (*decaps_hashes)(uint8_t k_r[64], uint8_t k_bar[32], EncryptionNoise<P>& noise, const uint8_t m[32],
                        const uint8_t h[32], const uint8_t z[32], const uint8_t c[P::ct_bytes]);
  // sum_j a[j] x b[j] in T_q times 2^-16 (MultiplyNTTs, Algorithm 11), given
  // the multiply caches of b. Factors |a_i| <= q, |b_i| < 8q; output |out_i| < 2^14.
  void (*multiply_accumulate)(Poly& out, const Poly* const a[P::k], const PolyVec& b,
                              const typename P::MulCacheVec& b_cache);
};

// The d of Compress_d that ML-KEM uses, and the index of each in the tables.
inline constexpr int compressed_bits[5] = {1, 4, 5, 10, 11};

template <int D>
consteval int compressed_index() {
  for (int i = 0; i < 5; ++i)
    if (compressed_bits[i] == D) return i;
  return -1;
}

struct Kernels {
  // Keccak-f[1600] on one state.
  void (*keccak_f1600)(uint64_t state[25]);
  // Keccak-f[1600] on four interleaved states (lane i of state l at [4 i + l]);
  // null on the portable path, which never steps four sponges together.
  void (*keccak_f1600_x4)(uint64_t states[100]);

  void (*ntt)(Poly& f);
  void (*ntt_inverse)(Poly& f);
  void (*mul_cache)(PolyMulCache& cache, const Poly& g);
  void (*to_montgomery)(Poly& f);
  void (*poly_reduce)(Poly& f);
  void (*poly_canonical)(Poly& f);

  void (*byte_encode_12)(uint8_t out[poly_bytes], const Poly& f);
  void (*byte_decode_12_raw)(Poly& f, const uint8_t in[poly_bytes]);

  // ByteEncode_d(Compress_d(f)) and Decompress_d(ByteDecode_d(in))
  // (encoding.hpp), one entry per d of compressed_bits, in that order.
  void (*compress_encode[5])(uint8_t* out, const Poly& f);
  void (*decode_decompress[5])(Poly& f, const uint8_t* in);

  SetKernels<MlKem512> mlkem512;
  SetKernels<MlKem768> mlkem768;
  SetKernels<MlKem1024> mlkem1024;

  template <class P>
  const SetKernels<P>& for_set() const {
    if constexpr (P::k == 2)
      return mlkem512;
    else if constexpr (P::k == 3)
      return mlkem768;
    else
      return mlkem1024;
  }
};

// One constant table per code path: portable.cpp, avx2.cpp and avx512.cpp
// (the vector ones only in a build with x86 vector code).
extern const Kernels kPortableKernels;
#if KYBER_ALG_HAVE_X86_VECTOR
extern const Kernels kAvx2Kernels;
extern const Kernels kAvx512Kernels;
#endif
#if KYBER_ALG_HAVE_ARM_VECTOR
extern const Kernels kSha3Kernels;  // sha3.cpp
#endif

// The path in use (portable.cpp).
extern Dispatch<Kernels> kernels;

}  // namespace kyber_alg::mlkem
