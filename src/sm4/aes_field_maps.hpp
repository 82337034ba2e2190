// SM4's S-box through the AES S-box, for code paths with AES instructions.
//
// The fields GF(2^8) of SM4 (modulo x^8+x^7+x^6+x^5+x^4+x^2+1) and of AES
// (modulo x^8+x^4+x^3+x+1) are isomorphic: a linear map T between them
// carries inversion to inversion. With the AES S-box SA(z) = M(I(z)) ^ 0x63,
//   S(x) = A(I_sm4(A x ^ c)) ^ c = G(SA(F x ^ f0)) ^ g0,
//   F = T A,  f0 = T c,  G = A T^-1 M^-1,  g0 = G(0x63) ^ c.
// AESENCLAST with a zero round key computes SA on all 16 bytes (after
// ShiftRows), in constant time.
//
// The rounds keep every state word in the "F domain" (each byte mapped by
// F): then the S-box input is F(X1) ^ F(X2) ^ F(X3) ^ (F(rk) ^ f0), with no
// affine map before AESENCLAST. What follows it, F(L(G(z) ^ g0)), is
// linear in z plus a constant K; because L is a sum of word rotations, it
// splits into four byte-wise maps M_0..M_3 and byte rotations:
//   F(L(G z)) = M_0(z) ^ (M_1(z) <<< 8) ^ (M_2(z) <<< 16) ^ (M_3(z) <<< 24).
// Byte-wise linear maps are applied with two 16-entry nibble tables each
// (PSHUFB), never with a memory lookup.
//
// Everything here is derived at compile time from the two field polynomials
// and the affine maps, so no table is copied in.
#pragma once

#include <array>
#include <cstdint>

#include "common/bytes.hpp"
#include "sm4/constants.hpp"

namespace kyber_alg::sm4::aes_field {

inline constexpr unsigned kAesPolynomial = 0x11b;
inline constexpr uint8_t kAesSboxConstant = 0x63;
inline constexpr unsigned kAesAffineRotations[] = {0, 1, 2, 3, 4};

constexpr uint8_t multiply(uint8_t a, uint8_t b, unsigned polynomial) {
  unsigned x = a, product = 0;
  for (; b; b >>= 1) {
    if (b & 1) product ^= x;
    x <<= 1;
    if (x & 0x100) x ^= polynomial;
  }
  return static_cast<uint8_t>(product);
}

constexpr uint8_t rotl8(uint8_t x, unsigned n) {
  return static_cast<uint8_t>(((x << n) | (x >> ((8 - n) & 7))) & 0xff);
}

// A GF(2)-linear map on bytes, given by the images of the eight bits.
struct ByteMap {
  std::array<uint8_t, 8> bit_images{};

  constexpr uint8_t operator()(uint8_t x) const {
    uint8_t y = 0;
    for (unsigned i = 0; i < 8; ++i)
      if (x >> i & 1) y ^= bit_images[i];
    return y;
  }
};

template <class F>
constexpr ByteMap linear_map(F f) {
  ByteMap m;
  for (unsigned i = 0; i < 8; ++i) m.bit_images[i] = f(static_cast<uint8_t>(1u << i));
  return m;
}

constexpr ByteMap compose(ByteMap outer, ByteMap inner) {
  return linear_map([=](uint8_t x) { return outer(inner(x)); });
}

// The inverse of an invertible map, by search (256 candidates per bit).
constexpr ByteMap invert(ByteMap m) {
  ByteMap inverse;
  for (unsigned i = 0; i < 8; ++i)
    for (unsigned x = 0; x < 256; ++x)
      if (m(static_cast<uint8_t>(x)) == (1u << i)) inverse.bit_images[i] = static_cast<uint8_t>(x);
  return inverse;
}

template <std::size_t N>
constexpr ByteMap rotation_sum(const unsigned (&rotations)[N]) {
  return linear_map([&](uint8_t x) {
    uint8_t y = 0;
    for (unsigned r : rotations) y ^= rotl8(x, r);
    return y;
  });
}

// A root in the AES field of SM4's field polynomial; powers of it are the
// images of SM4's polynomial basis.
constexpr uint8_t sm4_generator_in_aes_field() {
  for (unsigned beta = 2; beta < 256; ++beta) {
    uint8_t power = 1, sum = 0;
    for (unsigned i = 0; i <= 8; ++i) {
      if (kFieldPolynomial >> i & 1) sum ^= power;
      power = multiply(power, static_cast<uint8_t>(beta), kAesPolynomial);
    }
    if (sum == 0) return static_cast<uint8_t>(beta);
  }
  return 0;
}

constexpr ByteMap to_aes_field() {
  const uint8_t beta = sm4_generator_in_aes_field();
  ByteMap t;
  uint8_t power = 1;
  for (unsigned i = 0; i < 8; ++i) {
    t.bit_images[i] = power;
    power = multiply(power, beta, kAesPolynomial);
  }
  return t;
}

inline constexpr ByteMap kA = rotation_sum(kAffineRotations);
inline constexpr ByteMap kT = to_aes_field();
inline constexpr ByteMap kF = compose(kT, kA);
inline constexpr uint8_t kF0 = kT(kSboxConstant);
inline constexpr ByteMap kG = compose(compose(kA, invert(kT)), invert(rotation_sum(kAesAffineRotations)));
inline constexpr uint8_t kG0 = static_cast<uint8_t>(kG(kAesSboxConstant) ^ kSboxConstant);
inline constexpr ByteMap kFInverse = invert(kF);

// The AES S-box in software, for the compile-time checks below only.
constexpr uint8_t aes_sbox(uint8_t z) {
  uint8_t inverse = 0;
  for (unsigned y = 1; y < 256; ++y)
    if (multiply(z, static_cast<uint8_t>(y), kAesPolynomial) == 1) inverse = static_cast<uint8_t>(y);
  return static_cast<uint8_t>(rotation_sum(kAesAffineRotations)(inverse) ^ kAesSboxConstant);
}
constexpr uint8_t sbox_through_aes(uint8_t x) {
  return static_cast<uint8_t>(kG(aes_sbox(static_cast<uint8_t>(kF(x) ^ kF0))) ^ kG0);
}
// First and last entries of the S-box table printed in GB/T 32907-2016.
static_assert(sbox_through_aes(0x00) == 0xd6 && sbox_through_aes(0x01) == 0x90 &&
              sbox_through_aes(0xfe) == 0x39 && sbox_through_aes(0xff) == 0x48);

// Lookup tables for one byte-wise map: entry n of `low` is the image of n,
// of `high` the image of n << 4.
struct NibbleTables {
  alignas(16) uint8_t low[16];
  alignas(16) uint8_t high[16];
};

constexpr NibbleTables nibble_tables(ByteMap m) {
  NibbleTables t{};
  for (unsigned n = 0; n < 16; ++n) {
    t.low[n] = m(static_cast<uint8_t>(n));
    t.high[n] = m(static_cast<uint8_t>(n << 4));
  }
  return t;
}

constexpr uint32_t map_bytes(ByteMap m, uint32_t word) {
  uint32_t out = 0;
  for (unsigned j = 0; j < 4; ++j) out |= uint32_t{m(static_cast<uint8_t>(word >> (8 * j)))} << (8 * j);
  return out;
}

// The linear layer after AESENCLAST for the word rotations of L (or L'):
// F(L(G z ^ g0)) = M_0(z) ^ M_1(z) <<< 8 ^ M_2(z) <<< 16 ^ M_3(z) <<< 24 ^ K.
// K = F(L(g0 g0 g0 g0)) has four equal bytes (rotating a word of equal
// bytes gives equal bytes), so it is folded into M_0's low-nibble table,
// which every output byte goes through once.
struct LinearLayer {
  NibbleTables m[4];
  bool constant_folded;  // false would mean K's bytes differ: checked below
};

template <std::size_t N>
constexpr LinearLayer linear_layer(const unsigned (&rotations)[N]) {
  // Byte j of (v <<< 8q + s) is (v_(j-q) << s) | (v_(j-q-1) >> (8 - s)): a
  // byte-wise map at byte rotation q, and (for s > 0) another at q + 1.
  ByteMap parts[4] = {};
  for (unsigned r : rotations) {
    const unsigned q = r / 8, s = r % 8;
    const ByteMap shifted_up = compose(
        kF, compose(linear_map([=](uint8_t x) { return static_cast<uint8_t>((x << s) & 0xff); }), kG));
    for (unsigned i = 0; i < 8; ++i) parts[q].bit_images[i] ^= shifted_up.bit_images[i];
    if (s > 0) {
      const ByteMap shifted_down =
          compose(kF, compose(linear_map([=](uint8_t x) { return static_cast<uint8_t>(x >> (8 - s)); }), kG));
      for (unsigned i = 0; i < 8; ++i) parts[(q + 1) % 4].bit_images[i] ^= shifted_down.bit_images[i];
    }
  }
  LinearLayer layer{};
  for (unsigned q = 0; q < 4; ++q) layer.m[q] = nibble_tables(parts[q]);
  uint32_t l_of_g0 = 0;
  const uint32_t g0_word = 0x01010101u * kG0;
  for (unsigned r : rotations) l_of_g0 ^= rotl32(g0_word, static_cast<int>(r));
  const uint32_t k = map_bytes(kF, l_of_g0);
  const auto k_byte = static_cast<uint8_t>(k);
  layer.constant_folded = k == 0x01010101u * k_byte;
  for (uint8_t& entry : layer.m[0].low) entry ^= k_byte;
  return layer;
}

inline constexpr LinearLayer kRoundLayer = linear_layer(kRoundRotations);
inline constexpr LinearLayer kKeyLayer = linear_layer(kKeyRotations);
static_assert(kRoundLayer.constant_folded && kKeyLayer.constant_folded);
inline constexpr NibbleTables kToDomain = nibble_tables(kF);
inline constexpr NibbleTables kFromDomain = nibble_tables(kFInverse);

// CK_i in the F domain, with f0 folded in: the key expansion's "round keys".
inline constexpr std::array<uint32_t, 32> kCKInDomain = [] {
  std::array<uint32_t, 32> ck{};
  for (unsigned i = 0; i < 32; ++i) ck[i] = map_bytes(kF, kCK[i]) ^ (0x01010101u * kF0);
  return ck;
}();

}  // namespace kyber_alg::sm4::aes_field
