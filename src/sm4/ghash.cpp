// Portable GHASH. The carry-less product is built from ordinary integer
// multiplies: with the operands' bits split into five classes by position
// mod 5, a product of two classes has its bits five apart with at most 13
// terms adding at each position, so no carry reaches the next position of
// the same class, and each position's lowest bit is the XOR of its terms.
// No branch and no table index depends on H or the data.
#include "sm4/ghash.hpp"

#include <array>
#include <cstring>

#include "common/bytes.hpp"
#include "common/ct.hpp"
#include "sm4/kernels.hpp"

namespace kyber_alg::sm4 {
namespace {

using u128 = unsigned __int128;

struct Element {
  uint64_t hi, lo;
};

constexpr unsigned kClasses = 5;

// Bits whose position is c mod 5, within 64 and within 128 bits.
constexpr std::array<uint64_t, kClasses> kWordClass = [] {
  std::array<uint64_t, kClasses> m{};
  for (unsigned i = 0; i < 64; ++i) m[i % kClasses] |= uint64_t{1} << i;
  return m;
}();

constexpr std::array<u128, kClasses> kProductClass = [] {
  std::array<u128, kClasses> m{};
  for (unsigned i = 0; i < 128; ++i) m[i % kClasses] |= u128{1} << i;
  return m;
}();

// The 127-bit carry-less product of two 64-bit words.
u128 clmul64(uint64_t a, uint64_t b) {
  uint64_t as[kClasses], bs[kClasses];
  for (unsigned i = 0; i < kClasses; ++i) {
    as[i] = a & kWordClass[i];
    bs[i] = b & kWordClass[i];
  }
  u128 product = 0;
  for (unsigned c = 0; c < kClasses; ++c) {
    u128 sum = 0;
    for (unsigned i = 0; i < kClasses; ++i) sum ^= u128{as[i]} * bs[(c + kClasses - i) % kClasses];
    product |= sum & kProductClass[c];
  }
  return product;
}

// x * y in GF(2^128) modulo x^128 + x^7 + x^2 + x + 1, in GCM's bit order.
Element multiply(Element x, Element y) {
  // Karatsuba: three 64-bit products give the 255-bit integer product.
  const u128 high = clmul64(x.hi, y.hi), low = clmul64(x.lo, y.lo);
  const u128 middle = clmul64(x.hi ^ x.lo, y.hi ^ y.lo) ^ high ^ low;
  uint64_t p3 = static_cast<uint64_t>(high >> 64), p2 = static_cast<uint64_t>(high);
  uint64_t p1 = static_cast<uint64_t>(low >> 64), p0 = static_cast<uint64_t>(low);
  p2 ^= static_cast<uint64_t>(middle >> 64);
  p1 ^= static_cast<uint64_t>(middle);
  // The coefficient of x^k sits at integer bit 254 - k; one left shift puts
  // x^0..x^127 in the upper half (p3:p2) in GCM's order, and x^128..x^255 in
  // the lower half (p1:p0), x^(128+j) at bit 127 - j.
  p3 = (p3 << 1) | (p2 >> 63);
  p2 = (p2 << 1) | (p1 >> 63);
  p1 = (p1 << 1) | (p0 >> 63);
  p0 <<= 1;
  // x^(128+j) = x^j (1 + x + x^2 + x^7); multiplying by x^s is a right shift
  // by s here. The bits shifted out of the bottom are x^128..x^134 again:
  // folded into the top word first, where their own reduction stays.
  const uint64_t overflow = (p0 << 63) ^ (p0 << 62) ^ (p0 << 57);
  const uint64_t m1 = p1 ^ overflow, m0 = p0;
  Element r;
  r.hi = p3 ^ m1 ^ (m1 >> 1) ^ (m1 >> 2) ^ (m1 >> 7);
  r.lo = p2 ^ m0 ^ ((m0 >> 1) | (m1 << 63)) ^ ((m0 >> 2) | (m1 << 62)) ^ ((m0 >> 7) | (m1 << 57));
  return r;
}

Element power(const GhashKey& key, std::size_t k) { return {key.power[k - 1][1], key.power[k - 1][0]}; }

}  // namespace

void ghash_key_init(const uint8_t h[16], GhashKey& key) {
  const Element first{load_be64(h), load_be64(h + 8)};
  Element p = first;
  for (std::size_t k = 0; k < kGhashPowers; ++k) {
    if (k > 0) p = multiply(p, first);
    key.power[k][0] = p.lo;
    key.power[k][1] = p.hi;
  }
  ct::wipe_object(p);
}

void ghash_blocks_portable(const GhashKey& key, uint8_t y[16], const uint8_t* data, std::size_t blocks) {
  const Element h = power(key, 1);
  Element acc{load_be64(y), load_be64(y + 8)};
  for (std::size_t i = 0; i < blocks; ++i, data += 16) {
    acc.hi ^= load_be64(data);
    acc.lo ^= load_be64(data + 8);
    acc = multiply(acc, h);
  }
  store_be64(y, acc.hi);
  store_be64(y + 8, acc.lo);
  ct::wipe_object(acc);
}

void ghash_update(const GhashKey& key, uint8_t y[16], const uint8_t* data, std::size_t len) {
  const std::size_t blocks = len / 16;
  if (blocks > 0) kernels()->ghash(key, y, data, blocks);
  if (const std::size_t tail = len % 16; tail > 0) {
    uint8_t last[16] = {};
    std::memcpy(last, data + 16 * blocks, tail);
    kernels()->ghash(key, y, last, 1);
    ct::wipe(last, sizeof last);
  }
}

}  // namespace kyber_alg::sm4
