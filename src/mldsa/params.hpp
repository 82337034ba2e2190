// The ML-DSA parameter sets (FIPS 204 section 4, Table 1) and the byte sizes
// derived from them. Every algorithm is a template over one of the ParamSet
// types, so each set gets code specialised for its k, l, eta, gamma1 and gamma2.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::mldsa {

inline constexpr int n = 256;
inline constexpr int32_t q = 8380417;  // 2^23 - 2^13 + 1
inline constexpr int d = 13;           // bits dropped from t

// A polynomial in R_q or its NTT representation; each function states the
// range of the coefficients it accepts and returns.
struct alignas(32) Poly {
  int32_t c[n];
};

// Bits per coefficient of BitPack(w, a, b), i.e. bitlen(a + b).
consteval int bitlen(uint32_t x) {
  int bits = 0;
  while (x) ++bits, x >>= 1;
  return bits;
}

template <int K, int L, int Eta, int Tau, int Gamma1Bits, int Gamma2Divisor, int Omega, int Lambda>
struct ParamSet {
  static constexpr int k = K;
  static constexpr int l = L;
  static constexpr int eta = Eta;
  static constexpr int tau = Tau;
  static constexpr int32_t beta = Tau * Eta;
  static constexpr int32_t gamma1 = int32_t{1} << Gamma1Bits;
  static constexpr int32_t gamma2 = (q - 1) / Gamma2Divisor;
  static constexpr int omega = Omega;
  static constexpr std::size_t c_tilde_bytes = Lambda / 4;

  static constexpr int eta_bits = bitlen(2 * Eta);                    // s1, s2 in sk
  static constexpr int z_bits = 1 + Gamma1Bits;                       // bitlen(2 gamma1 - 1)
  static constexpr int w1_bits = bitlen((q - 1) / (2 * gamma2) - 1);  // w1Encode
  static constexpr std::size_t w1_poly_bytes = 32 * w1_bits;

  static constexpr std::size_t pk_bytes = 32 + 32 * 10 * K;
  static constexpr std::size_t sk_bytes = 32 + 32 + 64 + 32 * ((K + L) * eta_bits + d * K);
  static constexpr std::size_t sig_bytes = c_tilde_bytes + 32 * z_bits * L + Omega + K;

  struct VecL {
    Poly p[L];
  };
  struct VecK {
    Poly p[K];
  };
  struct Matrix {
    VecL row[K];  // A[r][s]
  };
};

using MlDsa44 = ParamSet<4, 4, 2, 39, 17, 88, 80, 128>;
using MlDsa65 = ParamSet<6, 5, 4, 49, 19, 32, 55, 192>;
using MlDsa87 = ParamSet<8, 7, 2, 60, 19, 32, 75, 256>;

static_assert(MlDsa44::pk_bytes == 1312 && MlDsa44::sk_bytes == 2560 && MlDsa44::sig_bytes == 2420);
static_assert(MlDsa65::pk_bytes == 1952 && MlDsa65::sk_bytes == 4032 && MlDsa65::sig_bytes == 3309);
static_assert(MlDsa87::pk_bytes == 2592 && MlDsa87::sk_bytes == 4896 && MlDsa87::sig_bytes == 4627);

}  // namespace kyber_alg::mldsa
