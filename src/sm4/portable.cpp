// Portable SM4. The S-box is computed, four bytes at a time in one 32-bit
// word, from its algebraic structure (inversion in GF(2^8) between two
// affine maps): no table is indexed by key or data, and every operation is
// an AND, XOR, shift or constant multiply, so the time does not depend on
// the values.
#include <array>
#include <cstring>

#include "common/bytes.hpp"
#include "common/ct.hpp"
#include "sm4/constants.hpp"
#include "sm4/kernels.hpp"

namespace kyber_alg::sm4 {
namespace {

constexpr uint32_t kLowBits = 0x01010101;

// Each byte of x rotated left by n bits.
constexpr uint32_t rotl_bytes(uint32_t x, unsigned n) {
  if (n == 0) return x;
  const uint32_t high = kLowBits * ((0xffu << n) & 0xff);
  return ((x << n) & high) | ((x >> (8 - n)) & ~high);
}

// Byte value of each lane (0 or 1) spread to a whole-byte mask.
inline uint32_t lane_masks(uint32_t bits) { return bits * 0xff; }

// x * t in every byte of the field, x a lane of bits.
inline uint32_t field_double(uint32_t a) {
  const uint32_t carry = (a >> 7) & kLowBits;
  return ((a << 1) & 0xfefefefe) ^ (carry * (kFieldPolynomial & 0xff));
}

inline uint32_t field_multiply(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (int i = 0; i < 8; ++i) {
    product ^= a & lane_masks((b >> i) & kLowBits);
    a = field_double(a);
  }
  return product;
}

// Squaring is linear over GF(2): the sum of the squares of the set bits.
constexpr std::array<uint8_t, 8> kBitSquares = [] {
  std::array<uint8_t, 8> squares{};
  for (unsigned i = 0; i < 8; ++i) {
    unsigned value = 1;
    for (unsigned k = 0; k < 2 * i; ++k) {
      value <<= 1;
      if (value & 0x100) value ^= kFieldPolynomial;
    }
    squares[i] = static_cast<uint8_t>(value);
  }
  return squares;
}();

inline uint32_t field_square(uint32_t a) {
  uint32_t square = 0;
  for (int i = 0; i < 8; ++i) square ^= ((a >> i) & kLowBits) * kBitSquares[i];
  return square;
}

// x^254, which is x^-1 for x != 0 and 0 for x = 0: 7 squarings, 4 multiplications.
inline uint32_t field_invert(uint32_t x) {
  const uint32_t x2 = field_square(x);
  const uint32_t x3 = field_multiply(x2, x);
  const uint32_t x12 = field_square(field_square(x3));
  const uint32_t x15 = field_multiply(x12, x3);
  const uint32_t x240 = field_square(field_square(field_square(field_square(x15))));
  return field_multiply(field_multiply(x240, x12), x2);
}

inline uint32_t affine_a(uint32_t x) {
  uint32_t y = 0;
  for (unsigned r : kAffineRotations) y ^= rotl_bytes(x, r);
  return y;
}

// The nonlinear transform tau: the S-box on each byte of the word.
inline uint32_t tau(uint32_t x) {
  constexpr uint32_t c = kLowBits * kSboxConstant;
  return affine_a(field_invert(affine_a(x) ^ c)) ^ c;
}

// Linear transforms L (rounds) and L' (key expansion).
inline uint32_t linear_l(uint32_t b) {
  return b ^ rotl32(b, 2) ^ rotl32(b, 10) ^ rotl32(b, 18) ^ rotl32(b, 24);
}
inline uint32_t linear_l_key(uint32_t b) { return b ^ rotl32(b, 13) ^ rotl32(b, 23); }

void expand_key_portable(const uint8_t key[kKeySize], uint32_t rk[kRounds]) {
  uint32_t k[4];
  for (int i = 0; i < 4; ++i) k[i] = load_be32(key + 4 * i) ^ kFK[i];
  for (unsigned i = 0; i < kRounds; ++i) {
    const uint32_t next =
        k[i % 4] ^ linear_l_key(tau(k[(i + 1) % 4] ^ k[(i + 2) % 4] ^ k[(i + 3) % 4] ^ kCK[i]));
    k[i % 4] = next;
    rk[i] = next;
  }
  ct::wipe(k, sizeof k);
}

// The 32 rounds X_(i+4) = X_i ^ L(tau(X_(i+1) ^ X_(i+2) ^ X_(i+3) ^ rk_i)),
// then the reverse transform R.
void crypt_block(const uint32_t rk[kRounds], const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) {
  uint32_t x[4];
  for (int i = 0; i < 4; ++i) x[i] = load_be32(in + 4 * i);
  for (unsigned i = 0; i < kRounds; ++i)
    x[i % 4] ^= linear_l(tau(x[(i + 1) % 4] ^ x[(i + 2) % 4] ^ x[(i + 3) % 4] ^ rk[i]));
  for (int i = 0; i < 4; ++i) store_be32(out + 4 * i, x[3 - i]);
  ct::wipe(x, sizeof x);
}

void ecb_portable(const uint32_t rk[kRounds], const uint8_t* in, uint8_t* out, std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) crypt_block(rk, in + kBlockSize * i, out + kBlockSize * i);
}

void cbc_encrypt_portable(const uint32_t rk[kRounds], uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out,
                          std::size_t blocks) {
  uint8_t chained[kBlockSize];
  for (std::size_t i = 0; i < blocks; ++i) {
    for (std::size_t j = 0; j < kBlockSize; ++j) chained[j] = in[kBlockSize * i + j] ^ iv[j];
    crypt_block(rk, chained, out + kBlockSize * i);
    std::memcpy(iv, out + kBlockSize * i, kBlockSize);
  }
  ct::wipe(chained, sizeof chained);
}

void cbc_decrypt_portable(const uint32_t rk[kRounds], uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out,
                          std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) {
    uint8_t* block = out + kBlockSize * i;
    crypt_block(rk, in + kBlockSize * i, block);
    for (std::size_t j = 0; j < kBlockSize; ++j) block[j] ^= iv[j];
    std::memcpy(iv, in + kBlockSize * i, kBlockSize);
  }
}

void ctr32_portable(const uint32_t rk[kRounds], uint8_t counter[kBlockSize], const uint8_t* in, uint8_t* out,
                    std::size_t blocks) {
  uint8_t keystream[kBlockSize];
  uint32_t low = load_be32(counter + 12);
  for (std::size_t i = 0; i < blocks; ++i) {
    crypt_block(rk, counter, keystream);
    for (std::size_t j = 0; j < kBlockSize; ++j)
      out[kBlockSize * i + j] = in[kBlockSize * i + j] ^ keystream[j];
    store_be32(counter + 12, ++low);
  }
  ct::wipe(keystream, sizeof keystream);
}

}  // namespace

const Kernels kPortableKernels = {expand_key_portable,  ecb_portable,   cbc_encrypt_portable,
                                  cbc_decrypt_portable, ctr32_portable, ghash_blocks_portable};

Dispatch<Kernels>& kernels() {
  static Dispatch<Kernels> dispatch(KernelSet<Kernels>{.portable = &kPortableKernels,
                                                       .avx2 = kAvx2Kernels,
                                                       .avx512 = nullptr,
                                                       .neon = kNeonKernels,
                                                       .pmull = kPmullKernels,
                                                       .smce = kSmceKernels});
  return dispatch;
}

}  // namespace kyber_alg::sm4
