// Constants of GB/T 32907-2016 shared by every code path.
#pragma once

#include <array>
#include <cstdint>

namespace kyber_alg::sm4 {

// System parameter FK for the key expansion.
inline constexpr uint32_t kFK[4] = {0xa3b1bac6, 0x56aa3350, 0x677d9197, 0xb27022dc};

// Fixed parameters CK_i: byte j of CK_i is (4i + j) * 7 mod 256.
inline constexpr std::array<uint32_t, 32> kCK = [] {
  std::array<uint32_t, 32> ck{};
  for (unsigned i = 0; i < 32; ++i)
    for (unsigned j = 0; j < 4; ++j) ck[i] = (ck[i] << 8) | (((4 * i + j) * 7) & 0xff);
  return ck;
}();

// The S-box is S(x) = A(I(A(x) ^ c)) ^ c, where I is inversion (0 to 0) in
// GF(2^8) modulo x^8 + x^7 + x^6 + x^5 + x^4 + x^2 + 1, and A the circulant
// bit matrix x ^ (x <<< 1) ^ (x <<< 3) ^ (x <<< 6) ^ (x <<< 7) on bytes.
// Both code paths compute it from this structure, never from a table.
inline constexpr unsigned kFieldPolynomial = 0x1f5;
inline constexpr uint8_t kSboxConstant = 0xd3;
inline constexpr unsigned kAffineRotations[] = {0, 1, 3, 6, 7};

// Rotation amounts of the linear transforms: L in the rounds, L' in the key expansion.
inline constexpr unsigned kRoundRotations[] = {0, 2, 10, 18, 24};
inline constexpr unsigned kKeyRotations[] = {0, 13, 23};

}  // namespace kyber_alg::sm4
