// SM4 with the Armv8.2 SM4 instructions: SM4E runs four rounds on a block held
// as the words X_i..X_(i+3) in lanes 0..3, SM4EKEY four steps of the key
// expansion. Independent blocks (ecb, cbc_decrypt, ctr32) go four at a time,
// their rounds interleaved; GHASH runs on PMULL.
#include "sm4/kernels.hpp"

#if KYBER_ALG_HAVE_ARM_VECTOR
#include <arm_neon.h>

#include "common/ct.hpp"
#include "sm4/constants.hpp"
#include "sm4/ghash_pmull.hpp"

namespace kyber_alg::sm4 {
namespace {

constexpr std::size_t kParallelBlocks = 4;

// A block's big-endian words X_0..X_3 in lanes 0..3.
inline uint32x4_t load_block(const uint8_t* in) { return vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(in))); }

// The reverse transform R: (X_35, X_34, X_33, X_32) from lanes {X_32, .., X_35}, in bytes.
inline uint8x16_t block_bytes(uint32x4_t x) {
  const uint32x4_t swapped = vrev64q_u32(x);
  return vrev32q_u8(vreinterpretq_u8_u32(vextq_u32(swapped, swapped, 2)));
}

struct KeyVectors {
  uint32x4_t k[kRounds / 4];
};

inline KeyVectors load_round_keys(const uint32_t rk[kRounds]) {
  KeyVectors keys;
  for (unsigned i = 0; i < kRounds / 4; ++i) keys.k[i] = vld1q_u32(rk + 4 * i);
  return keys;
}

inline void wipe_round_keys(KeyVectors& keys) { ct::wipe(&keys, sizeof keys); }

KYBER_ALG_TARGET_SMCE inline uint8x16_t encrypt_one(const KeyVectors& keys, uint32x4_t x) {
  for (unsigned i = 0; i < kRounds / 4; ++i) x = vsm4eq_u32(x, keys.k[i]);
  return block_bytes(x);
}

template <std::size_t kCount>
KYBER_ALG_TARGET_SMCE inline void encrypt_group(const KeyVectors& keys, uint32x4_t x[kCount]) {
  for (unsigned i = 0; i < kRounds / 4; ++i)
#pragma GCC unroll 4
    for (std::size_t b = 0; b < kCount; ++b) x[b] = vsm4eq_u32(x[b], keys.k[i]);
}

KYBER_ALG_TARGET_SMCE void expand_key_smce(const uint8_t key[kKeySize], uint32_t rk[kRounds]) {
  uint32x4_t k = veorq_u32(load_block(key), vld1q_u32(kFK));
  for (unsigned i = 0; i < kRounds / 4; ++i) {
    k = vsm4ekeyq_u32(k, vld1q_u32(kCK.data() + 4 * i));
    vst1q_u32(rk + 4 * i, k);
  }
  k = vdupq_n_u32(0);
  __asm__("" : : "w"(k) : "memory");
}

KYBER_ALG_TARGET_SMCE void ecb_smce(const uint32_t rk[kRounds], const uint8_t* in, uint8_t* out,
                                    std::size_t blocks) {
  KeyVectors keys = load_round_keys(rk);
  for (; blocks >= kParallelBlocks; blocks -= kParallelBlocks) {
    uint32x4_t x[kParallelBlocks];
    for (std::size_t b = 0; b < kParallelBlocks; ++b) x[b] = load_block(in + kBlockSize * b);
    encrypt_group<kParallelBlocks>(keys, x);
    for (std::size_t b = 0; b < kParallelBlocks; ++b) vst1q_u8(out + kBlockSize * b, block_bytes(x[b]));
    in += kBlockSize * kParallelBlocks;
    out += kBlockSize * kParallelBlocks;
  }
  for (; blocks > 0; --blocks, in += kBlockSize, out += kBlockSize)
    vst1q_u8(out, encrypt_one(keys, load_block(in)));
  wipe_round_keys(keys);
}

KYBER_ALG_TARGET_SMCE void cbc_encrypt_smce(const uint32_t rk[kRounds], uint8_t iv[kBlockSize],
                                            const uint8_t* in, uint8_t* out, std::size_t blocks) {
  KeyVectors keys = load_round_keys(rk);
  uint8x16_t chain = vld1q_u8(iv);
  for (std::size_t i = 0; i < blocks; ++i) {
    const uint8x16_t block = veorq_u8(vld1q_u8(in + kBlockSize * i), chain);
    chain = encrypt_one(keys, vreinterpretq_u32_u8(vrev32q_u8(block)));
    vst1q_u8(out + kBlockSize * i, chain);
  }
  vst1q_u8(iv, chain);
  wipe_round_keys(keys);
}

KYBER_ALG_TARGET_SMCE void cbc_decrypt_smce(const uint32_t rk[kRounds], uint8_t iv[kBlockSize],
                                            const uint8_t* in, uint8_t* out, std::size_t blocks) {
  KeyVectors keys = load_round_keys(rk);
  uint8x16_t chain = vld1q_u8(iv);
  for (; blocks >= kParallelBlocks; blocks -= kParallelBlocks) {
    uint32x4_t x[kParallelBlocks];
    for (std::size_t b = 0; b < kParallelBlocks; ++b) x[b] = load_block(in + kBlockSize * b);
    encrypt_group<kParallelBlocks>(keys, x);
    for (std::size_t b = 0; b < kParallelBlocks; ++b) {
      vst1q_u8(out + kBlockSize * b, veorq_u8(block_bytes(x[b]), chain));
      chain = vld1q_u8(in + kBlockSize * b);
    }
    in += kBlockSize * kParallelBlocks;
    out += kBlockSize * kParallelBlocks;
  }
  for (; blocks > 0; --blocks, in += kBlockSize, out += kBlockSize) {
    vst1q_u8(out, veorq_u8(encrypt_one(keys, load_block(in)), chain));
    chain = vld1q_u8(in);
  }
  vst1q_u8(iv, chain);
  wipe_round_keys(keys);
}

KYBER_ALG_TARGET_SMCE void ctr32_smce(const uint32_t rk[kRounds], uint8_t counter[kBlockSize],
                                      const uint8_t* in, uint8_t* out, std::size_t blocks) {
  KeyVectors keys = load_round_keys(rk);
  // The counter block as words; only lane 3 (the last four bytes) moves.
  uint32x4_t next = load_block(counter);
  const uint32x4_t one = {0, 0, 0, 1};
  for (; blocks >= kParallelBlocks; blocks -= kParallelBlocks) {
    uint32x4_t x[kParallelBlocks];
    for (std::size_t b = 0; b < kParallelBlocks; ++b) {
      x[b] = next;
      next = vaddq_u32(next, one);
    }
    encrypt_group<kParallelBlocks>(keys, x);
    for (std::size_t b = 0; b < kParallelBlocks; ++b)
      vst1q_u8(out + kBlockSize * b, veorq_u8(vld1q_u8(in + kBlockSize * b), block_bytes(x[b])));
    in += kBlockSize * kParallelBlocks;
    out += kBlockSize * kParallelBlocks;
  }
  for (; blocks > 0; --blocks, in += kBlockSize, out += kBlockSize) {
    vst1q_u8(out, veorq_u8(vld1q_u8(in), encrypt_one(keys, next)));
    next = vaddq_u32(next, one);
  }
  vst1q_u8(counter, vrev32q_u8(vreinterpretq_u8_u32(next)));
  wipe_round_keys(keys);
}

const Kernels kSmce = {expand_key_smce,  ecb_smce,   cbc_encrypt_smce,
                       cbc_decrypt_smce, ctr32_smce, ghash_blocks_pmull};

}  // namespace

const Kernels* const kSmceKernels = &kSmce;

}  // namespace kyber_alg::sm4

#else

namespace kyber_alg::sm4 {
const Kernels* const kSmceKernels = nullptr;
}  // namespace kyber_alg::sm4

#endif
