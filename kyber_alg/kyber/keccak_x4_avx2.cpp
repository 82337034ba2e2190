// AVX2 code (KYBER_ALG_AVX2 functions); only reached when the CPU has AVX2.
#include "keccak_x4.h"

#include "backend.h"
#include "common/ct.hpp"
#include "keccak.h"
#include "keccak_lanes.h"

#if KYBER_ALG_HAVE_AVX2

#include <immintrin.h>

#include <cstring>

namespace kyber_alg::kyber {

namespace {

using Vec = __m256i;

template <int R>
inline KYBER_ALG_AVX2 Vec rotl(Vec x) {
    if constexpr (R == 0) {
        return x;
    } else if constexpr (R == 8) {  // byte rotations are a single shuffle
        const Vec m = _mm256_setr_epi8(7, 0, 1, 2, 3, 4, 5, 6, 15, 8, 9, 10, 11, 12, 13, 14,  //
                                       7, 0, 1, 2, 3, 4, 5, 6, 15, 8, 9, 10, 11, 12, 13, 14);
        return _mm256_shuffle_epi8(x, m);
    } else if constexpr (R == 56) {
        const Vec m = _mm256_setr_epi8(1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8,  //
                                       1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8);
        return _mm256_shuffle_epi8(x, m);
    } else {
        return _mm256_or_si256(_mm256_slli_epi64(x, R), _mm256_srli_epi64(x, 64 - R));
    }
}

inline KYBER_ALG_AVX2 Vec xor5(Vec a, Vec b, Vec c, Vec d, Vec e) {
    return _mm256_xor_si256(_mm256_xor_si256(_mm256_xor_si256(a, b), _mm256_xor_si256(c, d)), e);
}

// chi: b0 ^ (~b1 & b2)
inline KYBER_ALG_AVX2 Vec chi(Vec b0, Vec b1, Vec b2) { return _mm256_xor_si256(b0, _mm256_andnot_si256(b1, b2)); }

// AVX-512VL: one-instruction rotations, and ternary logic for the 5-way XOR
// (0x96 = a ^ b ^ c) and for chi (0xd2 = a ^ (~b & c)).
template <int R>
inline KYBER_ALG_AVX512VL Vec rotl_512(Vec x) {
    if constexpr (R == 0)
        return x;
    else
        return _mm256_rol_epi64(x, R);
}

inline KYBER_ALG_AVX512VL Vec xor5_512(Vec a, Vec b, Vec c, Vec d, Vec e) {
    return _mm256_ternarylogic_epi64(_mm256_ternarylogic_epi64(a, b, c, 0x96), d, e, 0x96);
}

inline KYBER_ALG_AVX512VL Vec chi_512(Vec b0, Vec b1, Vec b2) { return _mm256_ternarylogic_epi64(b0, b1, b2, 0xd2); }

// The rounds of keccak.cpp on four states at once (lane index x + 5y),
// written once for both instruction sets.
#define KECCAK_X4_PERMUTE(ROTL, XOR5, CHI)                                                                   \
    KECCAK_LOAD_LANES(Vec, s)                                                                              \
    for (int round = 0; round < 24; ++round) {                                                             \
        const Vec c0 = XOR5(a00, a01, a02, a03, a04);                                                      \
        const Vec c1 = XOR5(a10, a11, a12, a13, a14);                                                      \
        const Vec c2 = XOR5(a20, a21, a22, a23, a24);                                                      \
        const Vec c3 = XOR5(a30, a31, a32, a33, a34);                                                      \
        const Vec c4 = XOR5(a40, a41, a42, a43, a44);                                                      \
        const Vec d0 = _mm256_xor_si256(c4, ROTL<1>(c1));                                                  \
        const Vec d1 = _mm256_xor_si256(c0, ROTL<1>(c2));                                                  \
        const Vec d2 = _mm256_xor_si256(c1, ROTL<1>(c3));                                                  \
        const Vec d3 = _mm256_xor_si256(c2, ROTL<1>(c4));                                                  \
        const Vec d4 = _mm256_xor_si256(c3, ROTL<1>(c0));                                                  \
        /* B[y][2x+3y] = rotl(A[x][y] ^ D[x], r[x][y]) */                                                  \
        const Vec b00 = ROTL<0>(_mm256_xor_si256(a00, d0));                                                \
        const Vec b13 = ROTL<36>(_mm256_xor_si256(a01, d0));                                               \
        const Vec b21 = ROTL<3>(_mm256_xor_si256(a02, d0));                                                \
        const Vec b34 = ROTL<41>(_mm256_xor_si256(a03, d0));                                               \
        const Vec b42 = ROTL<18>(_mm256_xor_si256(a04, d0));                                               \
        const Vec b02 = ROTL<1>(_mm256_xor_si256(a10, d1));                                                \
        const Vec b10 = ROTL<44>(_mm256_xor_si256(a11, d1));                                               \
        const Vec b23 = ROTL<10>(_mm256_xor_si256(a12, d1));                                               \
        const Vec b31 = ROTL<45>(_mm256_xor_si256(a13, d1));                                               \
        const Vec b44 = ROTL<2>(_mm256_xor_si256(a14, d1));                                                \
        const Vec b04 = ROTL<62>(_mm256_xor_si256(a20, d2));                                               \
        const Vec b12 = ROTL<6>(_mm256_xor_si256(a21, d2));                                                \
        const Vec b20 = ROTL<43>(_mm256_xor_si256(a22, d2));                                               \
        const Vec b33 = ROTL<15>(_mm256_xor_si256(a23, d2));                                               \
        const Vec b41 = ROTL<61>(_mm256_xor_si256(a24, d2));                                               \
        const Vec b01 = ROTL<28>(_mm256_xor_si256(a30, d3));                                               \
        const Vec b14 = ROTL<55>(_mm256_xor_si256(a31, d3));                                               \
        const Vec b22 = ROTL<25>(_mm256_xor_si256(a32, d3));                                               \
        const Vec b30 = ROTL<21>(_mm256_xor_si256(a33, d3));                                               \
        const Vec b43 = ROTL<56>(_mm256_xor_si256(a34, d3));                                               \
        const Vec b03 = ROTL<27>(_mm256_xor_si256(a40, d4));                                               \
        const Vec b11 = ROTL<20>(_mm256_xor_si256(a41, d4));                                               \
        const Vec b24 = ROTL<39>(_mm256_xor_si256(a42, d4));                                               \
        const Vec b32 = ROTL<8>(_mm256_xor_si256(a43, d4));                                                \
        const Vec b40 = ROTL<14>(_mm256_xor_si256(a44, d4));                                               \
        /* A[x][y] = B[x][y] ^ (~B[x+1][y] & B[x+2][y]), iota on A[0][0] */                                \
        a00 = _mm256_xor_si256(CHI(b00, b10, b20),                                                         \
                               _mm256_set1_epi64x(static_cast<long long>(keccak_round_constants[round])));        \
        a10 = CHI(b10, b20, b30);                                                                          \
        a20 = CHI(b20, b30, b40);                                                                          \
        a30 = CHI(b30, b40, b00);                                                                          \
        a40 = CHI(b40, b00, b10);                                                                          \
        a01 = CHI(b01, b11, b21);                                                                          \
        a11 = CHI(b11, b21, b31);                                                                          \
        a21 = CHI(b21, b31, b41);                                                                          \
        a31 = CHI(b31, b41, b01);                                                                          \
        a41 = CHI(b41, b01, b11);                                                                          \
        a02 = CHI(b02, b12, b22);                                                                          \
        a12 = CHI(b12, b22, b32);                                                                          \
        a22 = CHI(b22, b32, b42);                                                                          \
        a32 = CHI(b32, b42, b02);                                                                          \
        a42 = CHI(b42, b02, b12);                                                                          \
        a03 = CHI(b03, b13, b23);                                                                          \
        a13 = CHI(b13, b23, b33);                                                                          \
        a23 = CHI(b23, b33, b43);                                                                          \
        a33 = CHI(b33, b43, b03);                                                                          \
        a43 = CHI(b43, b03, b13);                                                                          \
        a04 = CHI(b04, b14, b24);                                                                          \
        a14 = CHI(b14, b24, b34);                                                                          \
        a24 = CHI(b24, b34, b44);                                                                          \
        a34 = CHI(b34, b44, b04);                                                                          \
        a44 = CHI(b44, b04, b14);                                                                          \
    }                                                                                                      \
    KECCAK_STORE_LANES(s)

KYBER_ALG_AVX2 void permute_avx2(Vec* s) { KECCAK_X4_PERMUTE(rotl, xor5, chi) }

KYBER_ALG_AVX512VL void permute_avx512(Vec* s) { KECCAK_X4_PERMUTE(rotl_512, xor5_512, chi_512) }

#undef KECCAK_X4_PERMUTE

inline void permute(Vec* s) {
    if (use_avx512())
        permute_avx512(s);
    else
        permute_avx2(s);
}

inline KYBER_ALG_AVX2 Vec* lanes(uint64_t* state) { return reinterpret_cast<Vec*>(state); }

}  // namespace

KeccakX4::~KeccakX4() { ct::wipe(state_, sizeof state_); }

KYBER_ALG_AVX2 void KeccakX4::absorb_once(const uint8_t* const in[4], std::size_t len, std::size_t rate, uint8_t domain) {
    // Pad each input to one block (at most 168 bytes), then XOR the lanes in.
    alignas(32) uint8_t block[4][168];
    for (int l = 0; l < 4; ++l) {
        std::memset(block[l], 0, rate);
        std::memcpy(block[l], in[l], len);
        block[l][len] ^= domain;
        block[l][rate - 1] ^= 0x80;
    }
    std::memset(state_, 0, sizeof state_);
    for (std::size_t i = 0; i < rate / 8; ++i)
        for (int l = 0; l < 4; ++l) {
            uint64_t w;
            std::memcpy(&w, block[l] + 8 * i, 8);  // x86 is little-endian, the lane byte order
            state_[4 * i + l] = w;
        }
    ct::wipe(block, sizeof block);
    permute(lanes(state_));
    fresh_ = true;
}

KYBER_ALG_AVX2 void KeccakX4::squeeze_blocks(uint8_t* const out[4], std::size_t blocks, std::size_t rate) {
    for (std::size_t b = 0; b < blocks; ++b) {
        if (!fresh_) permute(lanes(state_));
        fresh_ = false;
        for (std::size_t i = 0; i < rate / 8; ++i)
            for (int l = 0; l < 4; ++l) std::memcpy(out[l] + b * rate + 8 * i, &state_[4 * i + l], 8);
    }
}

}  // namespace kyber_alg::kyber

#endif  // KYBER_ALG_HAVE_AVX2
