#include "sampling.h"

#include <cstring>

#include "backend.h"
#include "common/ct.hpp"
#include "keccak.h"
#include "keccak_x4.h"
#include "sampling_avx2.h"
#include "symmetric.h"

namespace kyber_alg::kyber {

namespace {

// The loop body of Algorithm 7 over a buffer of XOF output: appends the
// accepted 12-bit values to a[count..n) and returns the new count.
int parse_uniform(Poly& a, int count, const uint8_t* buf, std::size_t len) {
    std::size_t pos = 0;
#if KYBER_ALG_HAVE_AVX2
    if (use_avx2()) pos = avx2::parse_uniform_prefix(a, count, buf, len);
#endif
    // While two more values fit, store both unconditionally and advance
    // by the acceptance bits: no unpredictable branch per candidate.
    for (; pos + 3 <= len && count <= n - 2; pos += 3) {
        const uint8_t* c = buf + pos;
        const int16_t d1 = static_cast<int16_t>(c[0] | ((c[1] & 0x0f) << 8));
        const int16_t d2 = static_cast<int16_t>((c[1] >> 4) | (c[2] << 4));
        a.c[count] = d1;
        count += d1 < q;
        a.c[count] = d2;
        count += d2 < q;
    }
    // Near the end the second value of a group may not be needed.
    for (; pos + 3 <= len && count < n; pos += 3) {
        const uint8_t* c = buf + pos;
        const int16_t d1 = static_cast<int16_t>(c[0] | ((c[1] & 0x0f) << 8));
        const int16_t d2 = static_cast<int16_t>((c[1] >> 4) | (c[2] << 4));
        if (d1 < q) a.c[count++] = d1;
        if (d2 < q && count < n) a.c[count++] = d2;
    }
    return count;
}

// Three blocks give 336 candidates, enough for 256 accepted values in over
// 99% of cases; more are squeezed one block at a time. 168 is a multiple
// of 3, so no 3-byte group crosses a block boundary.
constexpr std::size_t first_blocks = 3;

}  // namespace

void sample_ntt(Poly& a, const uint8_t rho[32], uint8_t j, uint8_t i) {
    Shake128 xof;
    xof.absorb(rho, 32);
    const uint8_t ji[2] = {j, i};
    xof.absorb(ji, 2);
    uint8_t buf[first_blocks * Shake128::rate];
    xof.squeeze_blocks(buf, first_blocks);
    int count = parse_uniform(a, 0, buf, sizeof buf);
    while (count < n) {
        xof.squeeze_blocks(buf, 1);
        count = parse_uniform(a, count, buf, Shake128::rate);
    }
}

void sample_matrix(PolyMat& a, const uint8_t rho[32], bool transpose) {
    static_assert(k == 2, "the four-way path samples the whole 2x2 matrix at once");
    auto entry = [&](int i, int j) -> Poly& { return transpose ? a[j][i] : a[i][j]; };
#if KYBER_ALG_HAVE_AVX2
    if (use_avx2()) {
        // A_hat[i][j] from rho || j || i, four SHAKE128 instances at once.
        uint8_t seeds[4][34];
        const uint8_t* in[4];
        alignas(32) uint8_t bufs[4][first_blocks * Shake128::rate];
        uint8_t* out[4];
        Poly* polys[4];
        for (int e = 0; e < 4; ++e) {
            const int i = e / 2, j = e % 2;
            std::memcpy(seeds[e], rho, 32);
            seeds[e][32] = static_cast<uint8_t>(j);
            seeds[e][33] = static_cast<uint8_t>(i);
            in[e] = seeds[e];
            out[e] = bufs[e];
            polys[e] = &entry(i, j);
        }
        KeccakX4 xof;
        xof.absorb_once(in, 34, Shake128::rate, 0x1f);
        xof.squeeze_blocks(out, first_blocks, Shake128::rate);
        int counts[4];
        bool done = true;
        for (int e = 0; e < 4; ++e) {
            counts[e] = parse_uniform(*polys[e], 0, bufs[e], sizeof bufs[e]);
            done &= counts[e] == n;
        }
        while (!done) {  // rare: squeeze one more block of all four
            xof.squeeze_blocks(out, 1, Shake128::rate);
            done = true;
            for (int e = 0; e < 4; ++e) {
                counts[e] = parse_uniform(*polys[e], counts[e], bufs[e], Shake128::rate);
                done &= counts[e] == n;
            }
        }
        return;
    }
#endif
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j) sample_ntt(entry(i, j), rho, static_cast<uint8_t>(j), static_cast<uint8_t>(i));
}

template <>
void sample_poly_cbd<2>(Poly& f, const uint8_t* b) {
    // 4 bytes -> 8 coefficients; each coefficient is (x0 + x1) - (y0 + y1)
    // over 4 consecutive bits.
    for (int i = 0; i < n / 8; ++i) {
        const uint32_t w = uint32_t{b[4 * i]} | uint32_t{b[4 * i + 1]} << 8 |
                           uint32_t{b[4 * i + 2]} << 16 | uint32_t{b[4 * i + 3]} << 24;
        const uint32_t pair_sums = (w & 0x55555555u) + ((w >> 1) & 0x55555555u);
        for (int j = 0; j < 8; ++j) {
            const int16_t x = static_cast<int16_t>((pair_sums >> (4 * j)) & 3);
            const int16_t y = static_cast<int16_t>((pair_sums >> (4 * j + 2)) & 3);
            f.c[8 * i + j] = static_cast<int16_t>(x - y);
        }
    }
}

template <>
void sample_poly_cbd<3>(Poly& f, const uint8_t* b) {
    // 3 bytes -> 4 coefficients over 6 consecutive bits each.
    for (int i = 0; i < n / 4; ++i) {
        const uint32_t w = uint32_t{b[3 * i]} | uint32_t{b[3 * i + 1]} << 8 | uint32_t{b[3 * i + 2]} << 16;
        const uint32_t triple_sums = (w & 0x249249u) + ((w >> 1) & 0x249249u) + ((w >> 2) & 0x249249u);
        for (int j = 0; j < 4; ++j) {
            const int16_t x = static_cast<int16_t>((triple_sums >> (6 * j)) & 7);
            const int16_t y = static_cast<int16_t>((triple_sums >> (6 * j + 3)) & 7);
            f.c[4 * i + j] = static_cast<int16_t>(x - y);
        }
    }
}

template <int EtaA, int EtaB>
void sample_noise_x4(Poly& p0, Poly& p1, Poly& p2, Poly& p3, const uint8_t seed[32], uint8_t nonce) {
    constexpr std::size_t len_a = 64 * EtaA, len_b = 64 * EtaB;
#if KYBER_ALG_HAVE_AVX2
    if (use_avx2()) {
        // Two SHAKE256 blocks (272 bytes) cover the 192 bytes eta = 3 needs.
        constexpr std::size_t blocks = 2;
        static_assert(blocks * Shake256::rate >= len_a && blocks * Shake256::rate >= len_b);
        uint8_t inputs[4][33];
        const uint8_t* in[4];
        ct::Wiped<uint8_t[4][blocks * Shake256::rate]> bufs;
        uint8_t* out[4];
        for (int l = 0; l < 4; ++l) {
            std::memcpy(inputs[l], seed, 32);
            inputs[l][32] = static_cast<uint8_t>(nonce + l);
            in[l] = inputs[l];
            out[l] = bufs.value[l];
        }
        KeccakX4 xof;
        xof.absorb_once(in, 33, Shake256::rate, 0x1f);
        xof.squeeze_blocks(out, blocks, Shake256::rate);
        ct::wipe(inputs, sizeof inputs);
        // The buffers are longer than 64 * eta, as avx2::sample_poly_cbd3 needs.
        auto cbd = [](int eta, Poly& p, const uint8_t* bytes) {
            eta == 3 ? avx2::sample_poly_cbd3(p, bytes) : avx2::sample_poly_cbd2(p, bytes);
        };
        static_assert((EtaA == 2 || EtaA == 3) && (EtaB == 2 || EtaB == 3));
        cbd(EtaA, p0, bufs.value[0]);
        cbd(EtaA, p1, bufs.value[1]);
        cbd(EtaB, p2, bufs.value[2]);
        cbd(EtaB, p3, bufs.value[3]);
        return;
    }
#endif
    ct::Wiped<uint8_t[(len_a > len_b) ? len_a : len_b]> buf;
    prf<EtaA>(buf.value, seed, nonce);
    sample_poly_cbd<EtaA>(p0, buf.value);
    prf<EtaA>(buf.value, seed, static_cast<uint8_t>(nonce + 1));
    sample_poly_cbd<EtaA>(p1, buf.value);
    prf<EtaB>(buf.value, seed, static_cast<uint8_t>(nonce + 2));
    sample_poly_cbd<EtaB>(p2, buf.value);
    prf<EtaB>(buf.value, seed, static_cast<uint8_t>(nonce + 3));
    sample_poly_cbd<EtaB>(p3, buf.value);
}

template void sample_noise_x4<eta1, eta1>(Poly&, Poly&, Poly&, Poly&, const uint8_t*, uint8_t);
template void sample_noise_x4<eta1, eta2>(Poly&, Poly&, Poly&, Poly&, const uint8_t*, uint8_t);

}  // namespace kyber_alg::kyber
