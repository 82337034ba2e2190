// The ML-KEM parameter sets (FIPS 203 section 8) and the byte sizes derived
// from them. Every algorithm is a template over one of the ParamSet types, so
// each set gets code specialised for its k, eta1, du and dv.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kyber_alg::mlkem {

inline constexpr int n = 256;
inline constexpr int16_t q = 3329;
inline constexpr int eta2 = 2;  // the same in every set

inline constexpr std::size_t seed_bytes = 32;
inline constexpr std::size_t poly_bytes = 384;  // ByteEncode_12 of one polynomial
inline constexpr std::size_t shared_secret_bytes = 32;

// A polynomial in R_q, or its NTT representation. Coefficients are kept as
// signed 16-bit values; functions state which range they accept and return.
struct alignas(32) Poly {
  std::array<int16_t, n> c;
};

// What MultiplyNTTs needs of a right-hand factor g that is used more than
// once: the pairs (g_2i, g_2i+1 * gamma_i), gamma_i in Montgomery form. Made
// once per vector and reused for every row of a matrix-vector product.
struct alignas(32) PolyMulCache {
  std::array<int16_t, n> c;
};

template <int K, int Eta1, int Du, int Dv>
struct ParamSet {
  static constexpr int k = K;
  static constexpr int eta1 = Eta1;
  static constexpr int du = Du;
  static constexpr int dv = Dv;

  static constexpr std::size_t ek_bytes = poly_bytes * K + seed_bytes;  // ek = ek_pke
  static constexpr std::size_t dk_pke_bytes = poly_bytes * K;
  static constexpr std::size_t dk_bytes = dk_pke_bytes + ek_bytes + 2 * seed_bytes;
  static constexpr std::size_t c1_bytes = 32 * Du * K;
  static constexpr std::size_t c2_bytes = 32 * Dv;
  static constexpr std::size_t ct_bytes = c1_bytes + c2_bytes;

  using PolyVec = std::array<Poly, K>;
  using PolyMat = std::array<PolyVec, K>;  // [row i][column j]
  using MulCacheVec = std::array<PolyMulCache, K>;
};

// The noise of one K-PKE.Encrypt (FIPS 203 Algorithm 14 steps 9-17): y from
// CBD_eta1, e1 and e2 from CBD_eta2.
template <class P>
struct EncryptionNoise {
  typename P::PolyVec y, e1;
  Poly e2;
};

using MlKem512 = ParamSet<2, 3, 10, 4>;
using MlKem768 = ParamSet<3, 2, 10, 4>;
using MlKem1024 = ParamSet<4, 2, 11, 5>;

static_assert(MlKem512::ek_bytes == 800 && MlKem512::dk_bytes == 1632 && MlKem512::ct_bytes == 768);
static_assert(MlKem768::ek_bytes == 1184 && MlKem768::dk_bytes == 2400 && MlKem768::ct_bytes == 1088);
static_assert(MlKem1024::ek_bytes == 1568 && MlKem1024::dk_bytes == 3168 && MlKem1024::ct_bytes == 1568);

}  // namespace kyber_alg::mlkem
