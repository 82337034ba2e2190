// AVX2 code (KYBER_ALG_TARGET_AVX2 functions), reached through the avx2 kernel table when the CPU has AVX2.
#include "mlkem/encoding_avx2.hpp"

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include <immintrin.h>

#include <cstring>

#include "mlkem/encoding.hpp"

namespace kyber_alg::mlkem::avx2 {

namespace {
using Vec = __m256i;
}

KYBER_ALG_TARGET_AVX2 void byte_encode_12(uint8_t out[poly_bytes], const Poly& f) {
  // 16 coefficients -> 8 dwords a + 4096 b -> 24 bytes.
  const Vec weights = _mm256_set1_epi32(1 | (4096 << 16));
  const Vec pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                    0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const Vec join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  for (int i = 0; i < 16; ++i) {
    const Vec x = _mm256_loadu_si256(reinterpret_cast<const Vec*>(f.c.data() + 16 * i));
    Vec y = _mm256_madd_epi16(x, weights);
    y = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(y, pack), join);
    alignas(32) uint8_t bytes[32];
    _mm256_store_si256(reinterpret_cast<Vec*>(bytes), y);
    std::memcpy(out + 24 * i, bytes, 24);
  }
}

KYBER_ALG_TARGET_AVX2 void byte_decode_12_raw(Poly& f, const uint8_t in[poly_bytes]) {
  // 24 bytes -> 16 values: even words (b0 | b1 << 8) & 0xfff, odd words (b1 | b2 << 8) >> 4.
  const Vec spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
  const Vec pairs = _mm256_setr_epi8(0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11,  //
                                     0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11);
  const Vec low12 = _mm256_set1_epi16(0x0fff);
  for (int i = 0; i < 16; ++i) {
    alignas(32) uint8_t bytes[32] = {};
    std::memcpy(bytes, in + 24 * i, 24);  // never reads past the 384 input bytes
    Vec x = _mm256_load_si256(reinterpret_cast<const Vec*>(bytes));
    x = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(x, spread), pairs);
    const Vec d = _mm256_blend_epi16(_mm256_and_si256(x, low12), _mm256_srli_epi16(x, 4), 0xaa);
    _mm256_storeu_si256(reinterpret_cast<Vec*>(f.c.data() + 16 * i), d);
  }
}

namespace {

inline KYBER_ALG_TARGET_AVX2 Vec load_row(const Poly& f, int i) {
  return _mm256_loadu_si256(reinterpret_cast<const Vec*>(f.c.data() + 16 * i));
}

inline KYBER_ALG_TARGET_AVX2 void store_row(Poly& f, int i, Vec x) {
  _mm256_storeu_si256(reinterpret_cast<Vec*>(f.c.data() + 16 * i), x);
}

// Compress_D of 16 coefficients in [0, q): floor((2^D x + (q-1)/2) / q) mod
// 2^D with the portable division by multiplication, eight 32-bit lanes at a
// time (the 64-bit products come from the even and the odd lanes in turn).
template <int D>
inline KYBER_ALG_TARGET_AVX2 Vec compress16(Vec x) {
  const Vec multiplier = _mm256_set1_epi64x(static_cast<long long>(div_q_multiplier));
  const Vec half_q = _mm256_set1_epi32((q - 1) / 2);
  const Vec mask = _mm256_set1_epi32((1 << D) - 1);
  Vec halves[2];
  for (int h = 0; h < 2; ++h) {
    Vec y = _mm256_cvtepu16_epi32(h ? _mm256_extracti128_si256(x, 1) : _mm256_castsi256_si128(x));
    y = _mm256_add_epi32(_mm256_slli_epi32(y, D), half_q);
    const Vec even = _mm256_srli_epi64(_mm256_mul_epu32(y, multiplier), 40);
    const Vec odd = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(y, 32), multiplier), 40);
    halves[h] = _mm256_and_si256(_mm256_or_si256(even, _mm256_slli_epi64(odd, 32)), mask);
  }
  // packus interleaves the 128-bit halves; the permutation puts the words back in order.
  return _mm256_permute4x64_epi64(_mm256_packus_epi32(halves[0], halves[1]), 0xd8);
}

// Decompress_D of 16 values below 2^D: mulhrs gives (a q + 2^14) >> 15, which
// for a = 2^(15-D) x is the portable (x q + 2^(D-1)) >> D.
template <int D>
inline KYBER_ALG_TARGET_AVX2 Vec decompress16(Vec x) {
  return _mm256_mulhrs_epi16(_mm256_slli_epi16(x, 15 - D), _mm256_set1_epi16(q));
}

// Two rows of 16 values below 256 as 32 bytes, in order.
inline KYBER_ALG_TARGET_AVX2 Vec bytes_of(Vec a, Vec b) {
  return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xd8);
}

// Word pairs (a, b) of D-bit values joined to a + 2^D b, then the 32-bit
// pairs to 4D-bit values in each 64-bit lane.
template <int D>
inline KYBER_ALG_TARGET_AVX2 Vec join_to_qwords(Vec x) {
  const Vec pairs = _mm256_madd_epi16(x, _mm256_set1_epi32(1 | (1 << (16 + D))));
  const Vec low = _mm256_and_si256(pairs, _mm256_set1_epi64x(0xffffffff));
  return _mm256_or_si256(low, _mm256_slli_epi64(_mm256_srli_epi64(pairs, 32), 2 * D));
}

// Stores the first `len` bytes of each 128-bit half of x, one after the other.
inline KYBER_ALG_TARGET_AVX2 void store_halves(uint8_t* out, Vec x, int len) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(x));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + len), _mm256_extracti128_si256(x, 1));
}

// 16 bytes at p and at p + step, in the two 128-bit halves.
inline KYBER_ALG_TARGET_AVX2 Vec load_halves(const uint8_t* p, int step) {
  const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + step));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

}  // namespace

// The packing of 16 compressed values into 2D bytes differs with D; the
// 10- and 11-bit packers write 16 bytes per half, so they go through a buffer
// with room for the overhang.
template <int D>
KYBER_ALG_TARGET_AVX2 void compress_encode(uint8_t* out, const Poly& f) {
  if constexpr (D == 1) {
    for (int i = 0; i < 8; ++i) {
      const Vec bytes = bytes_of(compress16<1>(load_row(f, 2 * i)), compress16<1>(load_row(f, 2 * i + 1)));
      const auto bits = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_slli_epi16(bytes, 7)));
      std::memcpy(out + 4 * i, &bits, 4);
    }
  } else if constexpr (D == 4) {
    for (int i = 0; i < 8; ++i) {
      const Vec bytes = bytes_of(compress16<4>(load_row(f, 2 * i)), compress16<4>(load_row(f, 2 * i + 1)));
      const Vec nibbles = _mm256_maddubs_epi16(bytes, _mm256_set1_epi16(0x1001));  // a + 16 b
      const Vec packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(nibbles, nibbles), 0x08);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i), _mm256_castsi256_si128(packed));
    }
  } else {
    static_assert(D == 5 || D == 10 || D == 11);
    alignas(32) uint8_t buf[32 * D + 16];
    for (int i = 0; i < 16; ++i) {
      Vec x = join_to_qwords<D>(compress16<D>(load_row(f, i)));  // 4D bits per 64-bit lane
      if constexpr (D == 5) {
        // 20 + 20 bits: the upper 64-bit lane joins the lower one.
        x = _mm256_or_si256(x, _mm256_slli_epi64(_mm256_srli_si256(x, 8), 20));
      } else if constexpr (D == 10) {
        x = _mm256_shuffle_epi8(x,
                                _mm256_setr_epi8(0, 1, 2, 3, 4, 8, 9, 10, 11, 12, -1, -1, -1, -1, -1, -1,  //
                                                 0, 1, 2, 3, 4, 8, 9, 10, 11, 12, -1, -1, -1, -1, -1, -1));
      } else {
        // 44 + 44 bits: the upper lane's bits go on at bit 44 = byte 5, nibble 1.
        x = _mm256_sllv_epi64(x, _mm256_setr_epi64x(0, 4, 0, 4));
        const Vec lower =
            _mm256_shuffle_epi8(x, _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 9, 10, 11, 12, 13, -1, -1, -1, -1, -1,
                                                    0, 1, 2, 3, 4, 5, 9, 10, 11, 12, 13, -1, -1, -1, -1, -1));
        const Vec joint = _mm256_shuffle_epi8(
            x, _mm256_setr_epi8(-1, -1, -1, -1, -1, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                -1, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
        x = _mm256_or_si256(lower, joint);
      }
      store_halves(buf + 2 * D * i, x, D);
    }
    std::memcpy(out, buf, 32 * D);
  }
}

template <int D>
KYBER_ALG_TARGET_AVX2 void decode_decompress(Poly& f, const uint8_t* in) {
  if constexpr (D == 1) {
    const Vec bits = _mm256_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384,
                                       static_cast<int16_t>(0x8000));
    for (int i = 0; i < 16; ++i) {
      const auto word = static_cast<int16_t>(in[2 * i] | in[2 * i + 1] << 8);
      const Vec x = _mm256_min_epu16(_mm256_and_si256(_mm256_set1_epi16(word), bits), _mm256_set1_epi16(1));
      store_row(f, i, decompress16<1>(x));
    }
  } else if constexpr (D == 4) {
    const __m128i low4 = _mm_set1_epi8(0x0f);
    for (int i = 0; i < 8; ++i) {
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * i));
      const __m128i lo = _mm_and_si128(b, low4), hi = _mm_and_si128(_mm_srli_epi16(b, 4), low4);
      store_row(f, 2 * i, decompress16<4>(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(lo, hi))));
      store_row(f, 2 * i + 1, decompress16<4>(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(lo, hi))));
    }
  } else {
    static_assert(D == 5 || D == 10 || D == 11);
    // The loads below read up to 16 bytes past a group's start: from a padded copy.
    alignas(32) uint8_t buf[32 * D + 32] = {};
    std::memcpy(buf, in, 32 * D);
    for (int i = 0; i < 16; ++i) {
      const Vec x = load_halves(buf + 2 * D * i, D);  // 8 values of each half from D bytes
      Vec v;
      if constexpr (D == 5) {
        // Value j has bits 5j..5j+4: the two bytes from 5j/8, moved up to bits 11-15, then down.
        const Vec words =
            _mm256_shuffle_epi8(x, _mm256_setr_epi8(0, 1, 0, 1, 1, 2, 1, 2, 2, 3, 3, 4, 3, 4, 4, 5,  //
                                                    0, 1, 0, 1, 1, 2, 1, 2, 2, 3, 3, 4, 3, 4, 4, 5));
        const Vec up =
            _mm256_setr_epi16(2048, 64, 512, 16, 128, 1024, 32, 256, 2048, 64, 512, 16, 128, 1024, 32, 256);
        v = _mm256_srli_epi16(_mm256_mullo_epi16(words, up), 11);
      } else if constexpr (D == 10) {
        const Vec words =
            _mm256_shuffle_epi8(x, _mm256_setr_epi8(0, 1, 1, 2, 2, 3, 3, 4, 5, 6, 6, 7, 7, 8, 8, 9,  //
                                                    0, 1, 1, 2, 2, 3, 3, 4, 5, 6, 6, 7, 7, 8, 8, 9));
        const Vec up = _mm256_setr_epi16(64, 16, 4, 1, 64, 16, 4, 1, 64, 16, 4, 1, 64, 16, 4, 1);
        v = _mm256_srli_epi16(_mm256_mullo_epi16(words, up), 6);
      } else {
        // Value j has bits 11j..11j+10, within the four bytes from 11j/8: values 0-3 and 4-7 of each
        // half as 32-bit lanes, shifted down by 11j mod 8; packus then leaves them in order.
        const Vec first =
            _mm256_shuffle_epi8(x, _mm256_setr_epi8(0, 1, 2, 3, 1, 2, 3, 4, 2, 3, 4, 5, 4, 5, 6, 7,  //
                                                    0, 1, 2, 3, 1, 2, 3, 4, 2, 3, 4, 5, 4, 5, 6, 7));
        const Vec second =
            _mm256_shuffle_epi8(x, _mm256_setr_epi8(5, 6, 7, 8, 6, 7, 8, 9, 8, 9, 10, 11, 9, 10, 11, 12, 5, 6,
                                                    7, 8, 6, 7, 8, 9, 8, 9, 10, 11, 9, 10, 11, 12));
        const Vec mask = _mm256_set1_epi32(0x7ff);
        const Vec a =
            _mm256_and_si256(_mm256_srlv_epi32(first, _mm256_setr_epi32(0, 3, 6, 1, 0, 3, 6, 1)), mask);
        const Vec b =
            _mm256_and_si256(_mm256_srlv_epi32(second, _mm256_setr_epi32(4, 7, 2, 5, 4, 7, 2, 5)), mask);
        v = _mm256_packus_epi32(a, b);
      }
      store_row(f, i, decompress16<D>(v));
    }
  }
}

#define KYBER_ALG_ENCODING_AVX2(D)                                               \
  template KYBER_ALG_TARGET_AVX2 void compress_encode<D>(uint8_t*, const Poly&); \
  template KYBER_ALG_TARGET_AVX2 void decode_decompress<D>(Poly&, const uint8_t*);
KYBER_ALG_ENCODING_AVX2(1)
KYBER_ALG_ENCODING_AVX2(4)
KYBER_ALG_ENCODING_AVX2(5)
KYBER_ALG_ENCODING_AVX2(10)
KYBER_ALG_ENCODING_AVX2(11)
#undef KYBER_ALG_ENCODING_AVX2

}  // namespace kyber_alg::mlkem::avx2

#endif  // KYBER_ALG_HAVE_X86_VECTOR
