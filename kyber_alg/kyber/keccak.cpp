#include "keccak.h"
#include "keccak_lanes.h"

#include "backend.h"
#include "common/ct.hpp"

namespace kyber_alg::kyber {

namespace {

inline uint64_t rotl(uint64_t x, unsigned r) { return r == 0 ? x : (x << r) | (x >> (64 - r)); }

inline uint64_t load64_le(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

inline void store64_le(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

// One round on named lanes a<x><y> (lane index x + 5y): theta, then rho and
// pi fused into B, then chi and iota. Written out so the 25 lanes stay in
// registers; the rotation offsets are the FIPS 202 rho table.
#define KECCAK_ROUND(RC)                                                              \
    do {                                                                              \
        const uint64_t c0 = a00 ^ a01 ^ a02 ^ a03 ^ a04;                              \
        const uint64_t c1 = a10 ^ a11 ^ a12 ^ a13 ^ a14;                              \
        const uint64_t c2 = a20 ^ a21 ^ a22 ^ a23 ^ a24;                              \
        const uint64_t c3 = a30 ^ a31 ^ a32 ^ a33 ^ a34;                              \
        const uint64_t c4 = a40 ^ a41 ^ a42 ^ a43 ^ a44;                              \
        const uint64_t d0 = c4 ^ rotl(c1, 1);                                         \
        const uint64_t d1 = c0 ^ rotl(c2, 1);                                         \
        const uint64_t d2 = c1 ^ rotl(c3, 1);                                         \
        const uint64_t d3 = c2 ^ rotl(c4, 1);                                         \
        const uint64_t d4 = c3 ^ rotl(c0, 1);                                         \
        /* B[y][2x+3y] = rotl(A[x][y] ^ D[x], r[x][y]) */                             \
        const uint64_t b00 = rotl(a00 ^ d0, 0);                                       \
        const uint64_t b13 = rotl(a01 ^ d0, 36);                                      \
        const uint64_t b21 = rotl(a02 ^ d0, 3);                                       \
        const uint64_t b34 = rotl(a03 ^ d0, 41);                                      \
        const uint64_t b42 = rotl(a04 ^ d0, 18);                                      \
        const uint64_t b02 = rotl(a10 ^ d1, 1);                                       \
        const uint64_t b10 = rotl(a11 ^ d1, 44);                                      \
        const uint64_t b23 = rotl(a12 ^ d1, 10);                                      \
        const uint64_t b31 = rotl(a13 ^ d1, 45);                                      \
        const uint64_t b44 = rotl(a14 ^ d1, 2);                                       \
        const uint64_t b04 = rotl(a20 ^ d2, 62);                                      \
        const uint64_t b12 = rotl(a21 ^ d2, 6);                                       \
        const uint64_t b20 = rotl(a22 ^ d2, 43);                                      \
        const uint64_t b33 = rotl(a23 ^ d2, 15);                                      \
        const uint64_t b41 = rotl(a24 ^ d2, 61);                                      \
        const uint64_t b01 = rotl(a30 ^ d3, 28);                                      \
        const uint64_t b14 = rotl(a31 ^ d3, 55);                                      \
        const uint64_t b22 = rotl(a32 ^ d3, 25);                                      \
        const uint64_t b30 = rotl(a33 ^ d3, 21);                                      \
        const uint64_t b43 = rotl(a34 ^ d3, 56);                                      \
        const uint64_t b03 = rotl(a40 ^ d4, 27);                                      \
        const uint64_t b11 = rotl(a41 ^ d4, 20);                                      \
        const uint64_t b24 = rotl(a42 ^ d4, 39);                                      \
        const uint64_t b32 = rotl(a43 ^ d4, 8);                                       \
        const uint64_t b40 = rotl(a44 ^ d4, 14);                                      \
        /* A[x][y] = B[x][y] ^ (~B[x+1][y] & B[x+2][y]) */                            \
        a00 = b00 ^ (~b10 & b20) ^ (RC);                                              \
        a10 = b10 ^ (~b20 & b30);                                                     \
        a20 = b20 ^ (~b30 & b40);                                                     \
        a30 = b30 ^ (~b40 & b00);                                                     \
        a40 = b40 ^ (~b00 & b10);                                                     \
        a01 = b01 ^ (~b11 & b21);                                                     \
        a11 = b11 ^ (~b21 & b31);                                                     \
        a21 = b21 ^ (~b31 & b41);                                                     \
        a31 = b31 ^ (~b41 & b01);                                                     \
        a41 = b41 ^ (~b01 & b11);                                                     \
        a02 = b02 ^ (~b12 & b22);                                                     \
        a12 = b12 ^ (~b22 & b32);                                                     \
        a22 = b22 ^ (~b32 & b42);                                                     \
        a32 = b32 ^ (~b42 & b02);                                                     \
        a42 = b42 ^ (~b02 & b12);                                                     \
        a03 = b03 ^ (~b13 & b23);                                                     \
        a13 = b13 ^ (~b23 & b33);                                                     \
        a23 = b23 ^ (~b33 & b43);                                                     \
        a33 = b33 ^ (~b43 & b03);                                                     \
        a43 = b43 ^ (~b03 & b13);                                                     \
        a04 = b04 ^ (~b14 & b24);                                                     \
        a14 = b14 ^ (~b24 & b34);                                                     \
        a24 = b24 ^ (~b34 & b44);                                                     \
        a34 = b34 ^ (~b44 & b04);                                                     \
        a44 = b44 ^ (~b04 & b14);                                                     \
    } while (0)

namespace {

// Loads the lanes, runs 24 rounds, stores them back.
#define KECCAK_F1600_BODY(s)                                                                  \
    KECCAK_LOAD_LANES(uint64_t, s)                                                             \
    for (int round = 0; round < 24; round += 2) {                                             \
        KECCAK_ROUND(keccak_round_constants[round]);                                                 \
        KECCAK_ROUND(keccak_round_constants[round + 1]);                                             \
    }                                                                                         \
    KECCAK_STORE_LANES(s)

void keccak_f1600_portable(uint64_t s[25]) { KECCAK_F1600_BODY(s) }

#if KYBER_ALG_HAVE_AVX2
// The same code for CPUs of the AVX2 path: BMI1 turns ~b & c into one andn
// and BMI2 gives rorx, about a quarter faster.
KYBER_ALG_AVX2 void keccak_f1600_bmi(uint64_t s[25]) { KECCAK_F1600_BODY(s) }
#endif

#undef KECCAK_F1600_BODY

}  // namespace

void keccak_f1600(uint64_t s[25]) {
#if KYBER_ALG_HAVE_AVX2
    if (use_avx2()) return keccak_f1600_bmi(s);
#endif
    keccak_f1600_portable(s);
}

#undef KECCAK_ROUND

template <std::size_t Rate, uint8_t Domain>
Sponge<Rate, Domain>::~Sponge() {
    ct::wipe(state_, sizeof state_);
}

template <std::size_t Rate, uint8_t Domain>
void Sponge<Rate, Domain>::absorb(const uint8_t* in, std::size_t len) {
    // Unaligned head: byte by byte until the block offset is lane-aligned.
    while (len > 0 && pos_ % 8 != 0) {
        state_[pos_ / 8] ^= static_cast<uint64_t>(*in++) << (8 * (pos_ % 8));
        --len;
        if (++pos_ == Rate) keccak_f1600(state_), pos_ = 0;
    }
    while (len >= 8) {
        state_[pos_ / 8] ^= load64_le(in);
        in += 8, len -= 8, pos_ += 8;
        if (pos_ == Rate) keccak_f1600(state_), pos_ = 0;
    }
    while (len > 0) {
        state_[pos_ / 8] ^= static_cast<uint64_t>(*in++) << (8 * (pos_ % 8));
        --len, ++pos_;
    }
}

template <std::size_t Rate, uint8_t Domain>
void Sponge<Rate, Domain>::finish_absorb() {
    state_[pos_ / 8] ^= static_cast<uint64_t>(Domain) << (8 * (pos_ % 8));
    state_[(Rate - 1) / 8] ^= 0x80ULL << (8 * ((Rate - 1) % 8));
    keccak_f1600(state_);
    pos_ = 0;
    squeezing_ = true;
}

template <std::size_t Rate, uint8_t Domain>
void Sponge<Rate, Domain>::squeeze(uint8_t* out, std::size_t len) {
    if (!squeezing_) finish_absorb();
    while (len > 0) {
        if (pos_ == Rate) keccak_f1600(state_), pos_ = 0;
        if (pos_ % 8 == 0 && len >= 8) {
            store64_le(out, state_[pos_ / 8]);
            out += 8, len -= 8, pos_ += 8;
        } else {
            *out++ = static_cast<uint8_t>(state_[pos_ / 8] >> (8 * (pos_ % 8)));
            --len, ++pos_;
        }
    }
}

template <std::size_t Rate, uint8_t Domain>
void Sponge<Rate, Domain>::squeeze_blocks(uint8_t* out, std::size_t blocks) {
    if (!squeezing_) finish_absorb();
    if (pos_ != 0 && pos_ != Rate) return squeeze(out, blocks * Rate);
    for (std::size_t b = 0; b < blocks; ++b, out += Rate) {
        if (pos_ == Rate) keccak_f1600(state_);
        for (std::size_t i = 0; i < Rate / 8; ++i) store64_le(out + 8 * i, state_[i]);
        pos_ = Rate;
    }
}

template class Sponge<136, 0x06>;
template class Sponge<72, 0x06>;
template class Sponge<168, 0x1f>;
template class Sponge<136, 0x1f>;

}  // namespace kyber_alg::kyber
