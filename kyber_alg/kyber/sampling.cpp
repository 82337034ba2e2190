#include "sampling.h"

#include "keccak.h"

namespace kyber_alg::kyber {

void sample_ntt(Poly& a, const uint8_t rho[32], uint8_t j, uint8_t i) {
    Shake128 xof;
    xof.absorb(rho, 32);
    const uint8_t ji[2] = {j, i};
    xof.absorb(ji, 2);

    // Three blocks give 336 candidates, enough for 256 accepted values in
    // over 99% of cases; then one block at a time. 168 is a multiple of 3,
    // so no 3-byte group crosses a block boundary.
    uint8_t buf[3 * Shake128::rate];
    std::size_t len = sizeof buf;
    xof.squeeze_blocks(buf, 3);
    int count = 0;
    for (;;) {
        std::size_t pos = 0;
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
        // Last value: the second candidate of a group may not be needed.
        for (; pos + 3 <= len && count < n; pos += 3) {
            const uint8_t* c = buf + pos;
            const int16_t d1 = static_cast<int16_t>(c[0] | ((c[1] & 0x0f) << 8));
            const int16_t d2 = static_cast<int16_t>((c[1] >> 4) | (c[2] << 4));
            if (d1 < q) a.c[count++] = d1;
            if (d2 < q && count < n) a.c[count++] = d2;
        }
        if (count == n) return;
        xof.squeeze_blocks(buf, 1);
        len = Shake128::rate;
    }
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

}  // namespace kyber_alg::kyber
