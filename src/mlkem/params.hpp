// ML-KEM-512 parameter set and the byte sizes derived from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kyber_alg::kyber {

inline constexpr int n = 256;
inline constexpr int16_t q = 3329;

inline constexpr int k = 2;
inline constexpr int eta1 = 3;
inline constexpr int eta2 = 2;
inline constexpr int du = 10;
inline constexpr int dv = 4;

inline constexpr std::size_t seed_bytes = 32;
inline constexpr std::size_t poly_bytes = 384;  // ByteEncode_12 of one polynomial
inline constexpr std::size_t ek_pke_bytes = poly_bytes * k + seed_bytes;
inline constexpr std::size_t dk_pke_bytes = poly_bytes * k;
inline constexpr std::size_t ek_bytes = ek_pke_bytes;                              // 800
inline constexpr std::size_t dk_bytes = dk_pke_bytes + ek_bytes + 2 * seed_bytes;  // 1632
inline constexpr std::size_t c1_bytes = 32 * du * k;
inline constexpr std::size_t c2_bytes = 32 * dv;
inline constexpr std::size_t ct_bytes = c1_bytes + c2_bytes;  // 768
inline constexpr std::size_t shared_secret_bytes = 32;

static_assert(ek_bytes == 800 && dk_bytes == 1632 && ct_bytes == 768);

// A polynomial in R_q, or its NTT representation. Coefficients are kept as
// signed 16-bit values; functions state which range they accept and return.
struct alignas(32) Poly {
  std::array<int16_t, n> c;
};
using PolyVec = std::array<Poly, k>;
using PolyMat = std::array<PolyVec, k>;

}  // namespace kyber_alg::kyber
