// SM4 with AVX2 and AES-NI. The S-box runs on AESENCLAST between byte-wise
// linear maps applied with PSHUFB nibble tables (see aes_field_maps.hpp);
// no memory access depends on the key or the data.
//
// ecb, cbc_decrypt and ctr32 run groups of eight blocks, two groups at a time
// with their rounds interleaved: the four state words of a group's blocks are
// transposed into four registers, one 32-bit lane per block.
// cbc_encrypt and the key expansion are one chain of rounds: they keep each
// state word broadcast to all four lanes of an XMM register, which also makes
// AESENCLAST's ShiftRows a no-op.
#include "sm4/kernels.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR
#include <immintrin.h>

#include <cstring>

#include "common/ct.hpp"
#include "sm4/aes_field_maps.hpp"
#include "sm4/constants.hpp"
#include "sm4/ghash_avx2.hpp"

namespace kyber_alg::sm4 {
namespace {

namespace af = aes_field;

constexpr std::size_t kParallelBlocks = 8;

// --- 128-bit registers ----------------------------------------------------

KYBER_ALG_TARGET_AVX2 inline __m128i load_table(const uint8_t (&table)[16]) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(table));
}

KYBER_ALG_TARGET_AVX2 inline __m128i map_bytes(__m128i x, const af::NibbleTables& t) {
  const __m128i nibble = _mm_set1_epi8(0x0f);
  const __m128i low = _mm_and_si128(x, nibble);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(x, 4), nibble);
  return _mm_xor_si128(_mm_shuffle_epi8(load_table(t.low), low), _mm_shuffle_epi8(load_table(t.high), high));
}

// Byte rotations of each 32-bit lane by 8, 16 and 24 bits.
KYBER_ALG_TARGET_AVX2 inline __m128i rotate_mask_128(int bytes) {
  alignas(16) uint8_t mask[16];
  for (int lane = 0; lane < 4; ++lane)
    for (int j = 0; j < 4; ++j) mask[4 * lane + j] = static_cast<uint8_t>(4 * lane + ((j - bytes) & 3));
  return _mm_load_si128(reinterpret_cast<const __m128i*>(mask));
}

// acc ^ F(L(S-box output)) for the S-box outputs z (AES form). acc is added first: it is ready long before z,
// and the byte rotations of M_1..M_3 come last.
KYBER_ALG_TARGET_AVX2 inline __m128i add_linear_layer(__m128i acc, __m128i z, const af::LinearLayer& layer) {
  // Keeps the compiler from re-associating the XORs so that acc's parts
  // would be added after the late terms, on the round's critical path.
  __asm__("" : "+x"(acc));
  const __m128i m0 = map_bytes(z, layer.m[0]);
  const __m128i m1 = _mm_shuffle_epi8(map_bytes(z, layer.m[1]), rotate_mask_128(1));
  const __m128i m2 = _mm_shuffle_epi8(map_bytes(z, layer.m[2]), rotate_mask_128(2));
  const __m128i m3 = _mm_shuffle_epi8(map_bytes(z, layer.m[3]), rotate_mask_128(3));
  // M_0 needs no rotation and is ready first: acc ^ m0, then two balanced
  // halves, each kept as a unit by the barrier, then one XOR.
  __m128i with_m0 = _mm_xor_si128(acc, m0);
  __asm__("" : "+x"(with_m0));
  __m128i early = _mm_xor_si128(with_m0, m3);
  __m128i late = _mm_xor_si128(m1, m2);
  __asm__("" : "+x"(early), "+x"(late));
  return _mm_xor_si128(early, late);
}

KYBER_ALG_TARGET_AVX2 inline __m128i xor3(__m128i a, __m128i b, __m128i c) {
  return _mm_xor_si128(_mm_xor_si128(a, b), c);
}

// The 32 rounds on broadcast words x0..x3 (F domain), round_keys in the F
// domain with f0 folded in. One chain of dependent rounds, so it is written
// for latency: with z_i the S-box output of round i and M the linear layer
// (constant included),
//   X_(i+4)     = X_i ^ M(z_i)
//   input_(i+1) = (X_(i+2) ^ X_(i+3) ^ rk_(i+1) ^ X_i) ^ M(z_i)
// both computed from z_i in parallel, the bracketed parts ahead of time.
// Unrolled by four so the words stay in registers; after_four(i) sees
// X_(i+4)..X_(i+7) after each group of four rounds.
template <class AfterFour>
KYBER_ALG_TARGET_AVX2 inline void serial_rounds(__m128i& x0, __m128i& x1, __m128i& x2, __m128i& x3,
                                                const uint32_t round_keys[kRounds],
                                                const af::LinearLayer& layer, AfterFour after_four) {
  const __m128i zero = _mm_setzero_si128();
  auto key = [&](unsigned i) { return _mm_set1_epi32(static_cast<int>(round_keys[i % kRounds])); };
  __m128i input = _mm_xor_si128(xor3(x1, x2, x3), key(0));
  for (unsigned i = 0; i < kRounds; i += 4) {
    __m128i z = _mm_aesenclast_si128(input, zero);
    input = add_linear_layer(_mm_xor_si128(xor3(x2, x3, x0), key(i + 1)), z, layer);
    x0 = add_linear_layer(x0, z, layer);
    z = _mm_aesenclast_si128(input, zero);
    input = add_linear_layer(_mm_xor_si128(xor3(x3, x0, x1), key(i + 2)), z, layer);
    x1 = add_linear_layer(x1, z, layer);
    z = _mm_aesenclast_si128(input, zero);
    input = add_linear_layer(_mm_xor_si128(xor3(x0, x1, x2), key(i + 3)), z, layer);
    x2 = add_linear_layer(x2, z, layer);
    z = _mm_aesenclast_si128(input, zero);
    input = add_linear_layer(_mm_xor_si128(xor3(x1, x2, x3), key(i + 4)), z, layer);
    x3 = add_linear_layer(x3, z, layer);
    after_four(i);
  }
}

// The round keys mapped into the F domain, with f0 folded in.
KYBER_ALG_TARGET_AVX2 inline void round_keys_in_domain(const uint32_t rk[kRounds], uint32_t out[kRounds]) {
  const __m128i f0 = _mm_set1_epi8(static_cast<char>(af::kF0));
  for (unsigned i = 0; i < kRounds; i += 4) {
    const __m128i keys = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rk + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_xor_si128(map_bytes(keys, af::kToDomain), f0));
  }
}

// Word w of a 16-byte register, byte-swapped from big-endian and broadcast to every lane.
KYBER_ALG_TARGET_AVX2 inline __m128i broadcast_word(__m128i block, int w) {
  const char b = static_cast<char>(4 * w);
  return _mm_shuffle_epi8(block, _mm_setr_epi8(b + 3, b + 2, b + 1, b, b + 3, b + 2, b + 1, b, b + 3, b + 2,
                                               b + 1, b, b + 3, b + 2, b + 1, b));
}

// Lane 0 of a, 1 of b, 2 of c, 3 of d.
KYBER_ALG_TARGET_AVX2 inline __m128i gather_lanes(__m128i a, __m128i b, __m128i c, __m128i d) {
  return _mm_blend_epi32(_mm_blend_epi32(a, b, 0b0010), _mm_blend_epi32(c, d, 0b1000), 0b1100);
}

KYBER_ALG_TARGET_AVX2 inline __m128i byte_swap_words(__m128i x) {
  return _mm_shuffle_epi8(x, _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12));
}

KYBER_ALG_TARGET_AVX2 void expand_key_avx2(const uint8_t key[kKeySize], uint32_t rk[kRounds]) {
  const __m128i fk = _mm_setr_epi32(static_cast<int>(kFK[0]), static_cast<int>(kFK[1]),
                                    static_cast<int>(kFK[2]), static_cast<int>(kFK[3]));
  // K_0..K_3 = MK ^ FK, in the F domain.
  const __m128i k =
      map_bytes(_mm_xor_si128(byte_swap_words(_mm_loadu_si128(reinterpret_cast<const __m128i*>(key))), fk),
                af::kToDomain);
  __m128i k0 = _mm_shuffle_epi32(k, 0x00), k1 = _mm_shuffle_epi32(k, 0x55);
  __m128i k2 = _mm_shuffle_epi32(k, 0xaa), k3 = _mm_shuffle_epi32(k, 0xff);
  // rk_i = K_(i+4): the rounds of the cipher, with L' and CK_i in place of L and rk_i.
  serial_rounds(k0, k1, k2, k3, af::kCKInDomain.data(), af::kKeyLayer, [&](unsigned i) {
    const __m128i keys = map_bytes(gather_lanes(k0, k1, k2, k3), af::kFromDomain);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rk + i), keys);
  });
}

// The chaining value stays in the F domain as the four broadcast words the
// rounds leave: F(P ^ C) = F(P) ^ F(C), and the words of F(C) are X35..X32
// in the F domain already, so the next block starts one XOR after the last
// round of the previous one. Writing out the ciphertext is off that path.
KYBER_ALG_TARGET_AVX2 void cbc_encrypt_avx2(const uint32_t rk[kRounds], uint8_t iv[kBlockSize],
                                            const uint8_t* in, uint8_t* out, std::size_t blocks) {
  alignas(16) uint32_t keys[kRounds];
  round_keys_in_domain(rk, keys);
  const __m128i iv_words = map_bytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(iv)), af::kToDomain);
  __m128i c0 = broadcast_word(iv_words, 0), c1 = broadcast_word(iv_words, 1);
  __m128i c2 = broadcast_word(iv_words, 2), c3 = broadcast_word(iv_words, 3);
  for (std::size_t b = 0; b < blocks; ++b) {
    const __m128i plain =
        map_bytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + kBlockSize * b)), af::kToDomain);
    __m128i x0 = _mm_xor_si128(broadcast_word(plain, 0), c0),
            x1 = _mm_xor_si128(broadcast_word(plain, 1), c1);
    __m128i x2 = _mm_xor_si128(broadcast_word(plain, 2), c2),
            x3 = _mm_xor_si128(broadcast_word(plain, 3), c3);
    serial_rounds(x0, x1, x2, x3, keys, af::kRoundLayer, [](unsigned) {});
    // The reverse transform R: the ciphertext is (X35, X34, X33, X32).
    c0 = x3, c1 = x2, c2 = x1, c3 = x0;
    const __m128i cipher = byte_swap_words(map_bytes(gather_lanes(x3, x2, x1, x0), af::kFromDomain));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kBlockSize * b), cipher);
  }
  std::memcpy(iv, out + kBlockSize * (blocks - 1), kBlockSize);
  ct::wipe(keys, sizeof keys);
}

// --- 256-bit registers, eight blocks -------------------------------------

KYBER_ALG_TARGET_AVX2 inline __m256i load_table(const uint8_t (&table)[16], int) {
  return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
}

KYBER_ALG_TARGET_AVX2 inline __m256i map_bytes(__m256i x, const af::NibbleTables& t) {
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i low = _mm256_and_si256(x, nibble);
  const __m256i high = _mm256_and_si256(_mm256_srli_epi16(x, 4), nibble);
  return _mm256_xor_si256(_mm256_shuffle_epi8(load_table(t.low, 0), low),
                          _mm256_shuffle_epi8(load_table(t.high, 0), high));
}

KYBER_ALG_TARGET_AVX2 inline __m256i rotate_mask_256(int bytes) {
  return _mm256_broadcastsi128_si256(rotate_mask_128(bytes));
}

KYBER_ALG_TARGET_AVX2 inline __m256i linear_layer(__m256i z, const af::LinearLayer& layer) {
  const __m256i m0 = map_bytes(z, layer.m[0]);
  const __m256i m1 = _mm256_shuffle_epi8(map_bytes(z, layer.m[1]), rotate_mask_256(1));
  const __m256i m2 = _mm256_shuffle_epi8(map_bytes(z, layer.m[2]), rotate_mask_256(2));
  const __m256i m3 = _mm256_shuffle_epi8(map_bytes(z, layer.m[3]), rotate_mask_256(3));
  return _mm256_xor_si256(_mm256_xor_si256(m0, m1), _mm256_xor_si256(m2, m3));
}

// The AES S-box on 32 bytes. Lanes hold different words here, so the input
// is first put through InvShiftRows to cancel AESENCLAST's ShiftRows.
KYBER_ALG_TARGET_AVX2 inline __m256i aes_sbox(__m256i x) {
  const __m256i inv_shift_rows =
      _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 13, 10, 7, 4, 1, 14, 11, 8, 5, 2, 15, 12, 9, 6, 3));
  const __m128i zero = _mm_setzero_si128();
  const __m256i y = _mm256_shuffle_epi8(x, inv_shift_rows);
  const __m128i low = _mm_aesenclast_si128(_mm256_castsi256_si128(y), zero);
  const __m128i high = _mm_aesenclast_si128(_mm256_extracti128_si256(y, 1), zero);
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// X_i ^ L(tau(X_(i+1) ^ X_(i+2) ^ X_(i+3) ^ rk_i)) for eight blocks, F domain.
KYBER_ALG_TARGET_AVX2 inline __m256i parallel_round(__m256i x0, __m256i x1, __m256i x2, __m256i x3,
                                                    uint32_t round_key) {
  const __m256i input = _mm256_xor_si256(
      _mm256_xor_si256(x1, x2), _mm256_xor_si256(x3, _mm256_set1_epi32(static_cast<int>(round_key))));
  return _mm256_xor_si256(x0, linear_layer(aes_sbox(input), af::kRoundLayer));
}

// 4x4 transpose of 32-bit words within each 128-bit half: blocks to words
// and back (it is its own inverse).
KYBER_ALG_TARGET_AVX2 inline void transpose(__m256i& a, __m256i& b, __m256i& c, __m256i& d) {
  const __m256i t0 = _mm256_unpacklo_epi32(a, b), t1 = _mm256_unpackhi_epi32(a, b);
  const __m256i t2 = _mm256_unpacklo_epi32(c, d), t3 = _mm256_unpackhi_epi32(c, d);
  a = _mm256_unpacklo_epi64(t0, t2);
  b = _mm256_unpackhi_epi64(t0, t2);
  c = _mm256_unpacklo_epi64(t1, t3);
  d = _mm256_unpackhi_epi64(t1, t3);
}

// The 32 rounds on G groups of eight blocks, words in the F domain. The
// rounds of one group form a chain (each needs the previous one's result),
// so groups are interleaved round by round: one group's rounds run while
// another's wait for their results.
template <std::size_t G>
KYBER_ALG_TARGET_AVX2 inline void parallel_rounds(__m256i (&x)[G][4], const uint32_t keys[kRounds]) {
  for (unsigned i = 0; i < kRounds; i += 4) {
    for (std::size_t g = 0; g < G; ++g) x[g][0] = parallel_round(x[g][0], x[g][1], x[g][2], x[g][3], keys[i]);
    for (std::size_t g = 0; g < G; ++g)
      x[g][1] = parallel_round(x[g][1], x[g][2], x[g][3], x[g][0], keys[i + 1]);
    for (std::size_t g = 0; g < G; ++g)
      x[g][2] = parallel_round(x[g][2], x[g][3], x[g][0], x[g][1], keys[i + 2]);
    for (std::size_t g = 0; g < G; ++g)
      x[g][3] = parallel_round(x[g][3], x[g][0], x[g][1], x[g][2], keys[i + 3]);
  }
}

KYBER_ALG_TARGET_AVX2 inline __m256i big_endian_words() {
  return _mm256_broadcastsi128_si256(_mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12));
}

// After the rounds: the reverse transform R, out of the F domain, and back
// from words to eight blocks of 32 bytes each per pair (block order as loaded).
KYBER_ALG_TARGET_AVX2 inline void words_to_blocks(const __m256i (&x)[4], __m256i (&y)[4]) {
  y[0] = x[3], y[1] = x[2], y[2] = x[1], y[3] = x[0];
  for (int i = 0; i < 4; ++i) y[i] = map_bytes(y[i], af::kFromDomain);
  transpose(y[0], y[1], y[2], y[3]);
  for (int i = 0; i < 4; ++i) y[i] = _mm256_shuffle_epi8(y[i], big_endian_words());
}

// G groups of eight blocks in, the same out (in and out may be the same buffer).
template <std::size_t G>
KYBER_ALG_TARGET_AVX2 inline void crypt_groups(const uint32_t keys[kRounds], const uint8_t* in,
                                               uint8_t* out) {
  __m256i x[G][4];
  for (std::size_t g = 0; g < G; ++g) {
    for (int i = 0; i < 4; ++i)
      x[g][i] = _mm256_shuffle_epi8(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 128 * g + 32 * i)), big_endian_words());
    transpose(x[g][0], x[g][1], x[g][2], x[g][3]);
    for (int i = 0; i < 4; ++i) x[g][i] = map_bytes(x[g][i], af::kToDomain);
  }
  parallel_rounds(x, keys);
  for (std::size_t g = 0; g < G; ++g) {
    __m256i y[4];
    words_to_blocks(x[g], y);
    for (int i = 0; i < 4; ++i) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 128 * g + 32 * i), y[i]);
  }
}

// Two groups of eight at a time while there are, then one, and a last partial
// group through a scratch buffer that is wiped afterwards.
KYBER_ALG_TARGET_AVX2 inline void crypt_blocks(const uint32_t keys[kRounds], const uint8_t* in, uint8_t* out,
                                               std::size_t blocks) {
  std::size_t b = 0;
  for (; b + 2 * kParallelBlocks <= blocks; b += 2 * kParallelBlocks)
    crypt_groups<2>(keys, in + kBlockSize * b, out + kBlockSize * b);
  for (; b + kParallelBlocks <= blocks; b += kParallelBlocks)
    crypt_groups<1>(keys, in + kBlockSize * b, out + kBlockSize * b);
  if (b < blocks) {
    alignas(32) uint8_t scratch[kParallelBlocks * kBlockSize] = {};
    const std::size_t rest = (blocks - b) * kBlockSize;
    std::memcpy(scratch, in + kBlockSize * b, rest);
    crypt_groups<1>(keys, scratch, scratch);
    std::memcpy(out + kBlockSize * b, scratch, rest);
    ct::wipe(scratch, sizeof scratch);
  }
}

KYBER_ALG_TARGET_AVX2 void ecb_avx2(const uint32_t rk[kRounds], const uint8_t* in, uint8_t* out,
                                    std::size_t blocks) {
  alignas(16) uint32_t keys[kRounds];
  round_keys_in_domain(rk, keys);
  crypt_blocks(keys, in, out, blocks);
  ct::wipe(keys, sizeof keys);
}

KYBER_ALG_TARGET_AVX2 void cbc_decrypt_avx2(const uint32_t rk[kRounds], uint8_t iv[kBlockSize],
                                            const uint8_t* in, uint8_t* out, std::size_t blocks) {
  alignas(16) uint32_t keys[kRounds];
  round_keys_in_domain(rk, keys);
  crypt_blocks(keys, in, out, blocks);
  // P_i = D(C_i) ^ C_(i-1), with C_(-1) = IV.
  const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_xor_si128(first, _mm_loadu_si128(reinterpret_cast<const __m128i*>(iv))));
  for (std::size_t b = 1; b < blocks; ++b) {
    __m128i* block = reinterpret_cast<__m128i*>(out + kBlockSize * b);
    const __m128i previous = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + kBlockSize * (b - 1)));
    _mm_storeu_si128(block, _mm_xor_si128(_mm_loadu_si128(block), previous));
  }
  std::memcpy(iv, in + kBlockSize * (blocks - 1), kBlockSize);
  ct::wipe(keys, sizeof keys);
}

// --- counter mode ----------------------------------------------------------

constexpr std::size_t kCtrGroups = 2;  // 16 blocks per pass

// Counter blocks need no loading or transposing: three words are the same in
// every block and the fourth counts up, one lane per block. Lane order after
// the transpose: blocks 0, 2, 4, 6 in the low half, 1, 3, 5, 7 in the high.
struct CounterWords {
  __m256i fixed[3];  // words 0..2 of every counter block, F domain
  uint32_t low;      // word 3 of the next block
};

KYBER_ALG_TARGET_AVX2 inline void counter_group(CounterWords& c, __m256i (&x)[4]) {
  const __m256i lanes = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  for (int i = 0; i < 3; ++i) x[i] = c.fixed[i];
  x[3] = map_bytes(_mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(c.low)), lanes), af::kToDomain);
  c.low += kParallelBlocks;
}

// out = in ^ keystream for G groups of eight blocks.
template <std::size_t G>
KYBER_ALG_TARGET_AVX2 inline void ctr_groups(const uint32_t keys[kRounds], CounterWords& c, const uint8_t* in,
                                             uint8_t* out) {
  __m256i x[G][4];
  for (std::size_t g = 0; g < G; ++g) counter_group(c, x[g]);
  parallel_rounds(x, keys);
  for (std::size_t g = 0; g < G; ++g) {
    __m256i y[4];
    words_to_blocks(x[g], y);
    for (int i = 0; i < 4; ++i) {
      const std::size_t at = (kParallelBlocks * g + 2 * i) * kBlockSize;
      const __m256i data = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + at));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + at), _mm256_xor_si256(data, y[i]));
    }
  }
}

KYBER_ALG_TARGET_AVX2 void ctr32_avx2(const uint32_t rk[kRounds], uint8_t counter[kBlockSize],
                                      const uint8_t* in, uint8_t* out, std::size_t blocks) {
  alignas(16) uint32_t keys[kRounds];
  round_keys_in_domain(rk, keys);
  CounterWords c;
  for (int i = 0; i < 3; ++i)
    c.fixed[i] = map_bytes(_mm256_set1_epi32(static_cast<int>(load_be32(counter + 4 * i))), af::kToDomain);
  c.low = load_be32(counter + 12);
  std::size_t b = 0;
  for (; b + kCtrGroups * kParallelBlocks <= blocks; b += kCtrGroups * kParallelBlocks)
    ctr_groups<kCtrGroups>(keys, c, in + kBlockSize * b, out + kBlockSize * b);
  for (; b + kParallelBlocks <= blocks; b += kParallelBlocks)
    ctr_groups<1>(keys, c, in + kBlockSize * b, out + kBlockSize * b);
  if (b < blocks) {
    alignas(32) uint8_t scratch[kParallelBlocks * kBlockSize] = {};
    const std::size_t rest = (blocks - b) * kBlockSize;
    std::memcpy(scratch, in + kBlockSize * b, rest);
    ctr_groups<1>(keys, c, scratch, scratch);
    std::memcpy(out + kBlockSize * b, scratch, rest);
    ct::wipe(scratch, sizeof scratch);
  }
  store_be32(counter + 12, static_cast<uint32_t>(load_be32(counter + 12) + blocks));
  ct::wipe(keys, sizeof keys);
}

const Kernels kAvx2 = {expand_key_avx2,  ecb_avx2,   cbc_encrypt_avx2,
                       cbc_decrypt_avx2, ctr32_avx2, ghash_blocks_avx2};

}  // namespace

const Kernels* const kAvx2Kernels = &kAvx2;

}  // namespace kyber_alg::sm4

#else

namespace kyber_alg::sm4 {
const Kernels* const kAvx2Kernels = nullptr;
}  // namespace kyber_alg::sm4

#endif
