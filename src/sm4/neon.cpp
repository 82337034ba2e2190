// SM4 on Advanced SIMD, for CPUs without the SM4 instructions. Four blocks go
// at a time, word-sliced: vector j holds word X_j of each block. The S-box is
// four TBL lookups into a 256-byte table held in sixteen registers (an index
// outside a lookup's 64 bytes gives zero), so no memory access depends on the
// key or the data. The kernel tables of the neon path (GHASH portable) and of
// the pmull path (GHASH on PMULL) share these block functions.
#include "sm4/kernels.hpp"

#if KYBER_ALG_HAVE_ARM_VECTOR
#include <arm_neon.h>

#include <array>
#include <cstring>

#include "common/bytes.hpp"
#include "common/ct.hpp"
#include "sm4/constants.hpp"
#include "sm4/ghash_pmull.hpp"

namespace kyber_alg::sm4 {
namespace {

constexpr std::size_t kParallelBlocks = 4;

// The S-box from its structure (constants.hpp), computed when compiling.
constexpr uint8_t field_multiply(uint8_t a, uint8_t b) {
  unsigned product = 0, x = a;
  for (int i = 0; i < 8; ++i) {
    if ((b >> i) & 1) product ^= x;
    x <<= 1;
    if (x & 0x100) x ^= kFieldPolynomial;
  }
  return static_cast<uint8_t>(product);
}

constexpr uint8_t affine_a(uint8_t x) {
  unsigned y = 0;
  for (unsigned r : kAffineRotations) y ^= ((x << r) | (x >> ((8 - r) & 7))) & 0xff;
  return static_cast<uint8_t>(y);
}

constexpr std::array<uint8_t, 256> kSbox = [] {
  std::array<uint8_t, 256> sbox{};
  for (unsigned x = 0; x < 256; ++x) {
    const uint8_t a = affine_a(static_cast<uint8_t>(x)) ^ kSboxConstant;
    uint8_t inverse = 1;  // a^254
    for (int i = 0; i < 254; ++i) inverse = field_multiply(inverse, a);
    sbox[x] = affine_a(a == 0 ? 0 : inverse) ^ kSboxConstant;
  }
  return sbox;
}();

struct Sbox {
  uint8x16x4_t part[4];  // bytes 64 i .. 64 i + 63
};

inline Sbox load_sbox() {
  Sbox s;
  for (int i = 0; i < 4; ++i) s.part[i] = vld1q_u8_x4(kSbox.data() + 64 * i);
  return s;
}

// tau: the S-box on every byte.
inline uint32x4_t tau(const Sbox& s, uint32x4_t x) {
  const uint8x16_t bytes = vreinterpretq_u8_u32(x);
  const uint8x16_t step = vdupq_n_u8(64);
  uint8x16_t out = vqtbl4q_u8(s.part[0], bytes);
  uint8x16_t index = vsubq_u8(bytes, step);
  out = vorrq_u8(out, vqtbl4q_u8(s.part[1], index));
  index = vsubq_u8(index, step);
  out = vorrq_u8(out, vqtbl4q_u8(s.part[2], index));
  index = vsubq_u8(index, step);
  return vreinterpretq_u32_u8(vorrq_u8(out, vqtbl4q_u8(s.part[3], index)));
}

template <int kBits>
inline uint32x4_t rotl_lanes(uint32x4_t x) {
  return vsriq_n_u32(vshlq_n_u32(x, kBits), x, 32 - kBits);
}

// L of the rounds and L' of the key expansion.
inline uint32x4_t linear_l(uint32x4_t b) {
  return veorq_u32(veorq_u32(b, rotl_lanes<2>(b)),
                   veorq_u32(veorq_u32(rotl_lanes<10>(b), rotl_lanes<18>(b)), rotl_lanes<24>(b)));
}
inline uint32x4_t linear_l_key(uint32x4_t b) {
  return veorq_u32(b, veorq_u32(rotl_lanes<13>(b), rotl_lanes<23>(b)));
}

void expand_key_neon(const uint8_t key[kKeySize], uint32_t rk[kRounds]) {
  const Sbox s = load_sbox();
  uint32x4_t k[4];
  for (int i = 0; i < 4; ++i) k[i] = vdupq_n_u32(load_be32(key + 4 * i) ^ kFK[i]);
  for (unsigned i = 0; i < kRounds; ++i) {
    const uint32x4_t t =
        veorq_u32(veorq_u32(k[(i + 1) % 4], k[(i + 2) % 4]), veorq_u32(k[(i + 3) % 4], vdupq_n_u32(kCK[i])));
    k[i % 4] = veorq_u32(k[i % 4], linear_l_key(tau(s, t)));
    rk[i] = vgetq_lane_u32(k[i % 4], 0);
  }
  ct::wipe(k, sizeof k);
}

// Four whole blocks from in to out (in == out allowed).
void crypt_four(const Sbox& s, const uint32_t rk[kRounds], const uint8_t* in, uint8_t* out) {
  const uint32x4x4_t loaded = vld4q_u32(reinterpret_cast<const uint32_t*>(in));
  uint32x4_t x[4];
  for (int j = 0; j < 4; ++j) x[j] = vreinterpretq_u32_u8(vrev32q_u8(vreinterpretq_u8_u32(loaded.val[j])));
#pragma GCC unroll 4
  for (unsigned i = 0; i < kRounds; ++i) {
    const uint32x4_t t =
        veorq_u32(veorq_u32(x[(i + 1) % 4], x[(i + 2) % 4]), veorq_u32(x[(i + 3) % 4], vdupq_n_u32(rk[i])));
    x[i % 4] = veorq_u32(x[i % 4], linear_l(tau(s, t)));
  }
  uint32x4x4_t stored;
  for (int j = 0; j < 4; ++j)
    stored.val[j] = vreinterpretq_u32_u8(vrev32q_u8(vreinterpretq_u8_u32(x[3 - j])));
  vst4q_u32(reinterpret_cast<uint32_t*>(out), stored);
}

// Up to four blocks; fewer go through a zero-padded copy.
void crypt_up_to_four(const Sbox& s, const uint32_t rk[kRounds], const uint8_t* in, uint8_t* out,
                      std::size_t blocks) {
  if (blocks == kParallelBlocks) return crypt_four(s, rk, in, out);
  uint8_t buffer[kBlockSize * kParallelBlocks] = {};
  std::memcpy(buffer, in, kBlockSize * blocks);
  crypt_four(s, rk, buffer, buffer);
  std::memcpy(out, buffer, kBlockSize * blocks);
  ct::wipe(buffer, sizeof buffer);
}

void ecb_neon(const uint32_t rk[kRounds], const uint8_t* in, uint8_t* out, std::size_t blocks) {
  const Sbox s = load_sbox();
  for (std::size_t i = 0; i < blocks; i += kParallelBlocks)
    crypt_up_to_four(s, rk, in + kBlockSize * i, out + kBlockSize * i,
                     blocks - i < kParallelBlocks ? blocks - i : kParallelBlocks);
}

void cbc_encrypt_neon(const uint32_t rk[kRounds], uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out,
                      std::size_t blocks) {
  const Sbox s = load_sbox();
  uint8x16_t chain = vld1q_u8(iv);
  for (std::size_t i = 0; i < blocks; ++i) {
    uint8_t block[kBlockSize];
    vst1q_u8(block, veorq_u8(vld1q_u8(in + kBlockSize * i), chain));
    crypt_up_to_four(s, rk, block, out + kBlockSize * i, 1);
    chain = vld1q_u8(out + kBlockSize * i);
    ct::wipe(block, sizeof block);
  }
  vst1q_u8(iv, chain);
}

void cbc_decrypt_neon(const uint32_t rk[kRounds], uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out,
                      std::size_t blocks) {
  const Sbox s = load_sbox();
  uint8x16_t chain = vld1q_u8(iv);
  for (std::size_t i = 0; i < blocks; i += kParallelBlocks) {
    const std::size_t n = blocks - i < kParallelBlocks ? blocks - i : kParallelBlocks;
    crypt_up_to_four(s, rk, in + kBlockSize * i, out + kBlockSize * i, n);
    for (std::size_t b = i; b < i + n; ++b) {
      vst1q_u8(out + kBlockSize * b, veorq_u8(vld1q_u8(out + kBlockSize * b), chain));
      chain = vld1q_u8(in + kBlockSize * b);
    }
  }
  vst1q_u8(iv, chain);
}

void ctr32_neon(const uint32_t rk[kRounds], uint8_t counter[kBlockSize], const uint8_t* in, uint8_t* out,
                std::size_t blocks) {
  const Sbox s = load_sbox();
  uint8_t keystream[kBlockSize * kParallelBlocks];
  uint32_t low = load_be32(counter + 12);
  for (std::size_t i = 0; i < blocks; i += kParallelBlocks) {
    const std::size_t n = blocks - i < kParallelBlocks ? blocks - i : kParallelBlocks;
    for (std::size_t b = 0; b < kParallelBlocks; ++b) {
      std::memcpy(keystream + kBlockSize * b, counter, 12);
      store_be32(keystream + kBlockSize * b + 12, low + static_cast<uint32_t>(b));
    }
    crypt_four(s, rk, keystream, keystream);
    for (std::size_t b = 0; b < n; ++b)
      vst1q_u8(out + kBlockSize * (i + b),
               veorq_u8(vld1q_u8(in + kBlockSize * (i + b)), vld1q_u8(keystream + kBlockSize * b)));
    low += static_cast<uint32_t>(n);
  }
  store_be32(counter + 12, low);
  ct::wipe(keystream, sizeof keystream);
}

const Kernels kNeon = {expand_key_neon,  ecb_neon,   cbc_encrypt_neon,
                       cbc_decrypt_neon, ctr32_neon, ghash_blocks_portable};
const Kernels kPmull = {expand_key_neon,  ecb_neon,   cbc_encrypt_neon,
                        cbc_decrypt_neon, ctr32_neon, ghash_blocks_pmull};

}  // namespace

const Kernels* const kNeonKernels = &kNeon;
const Kernels* const kPmullKernels = &kPmull;

}  // namespace kyber_alg::sm4

#else

namespace kyber_alg::sm4 {
const Kernels* const kNeonKernels = nullptr;
const Kernels* const kPmullKernels = nullptr;
}  // namespace kyber_alg::sm4

#endif
