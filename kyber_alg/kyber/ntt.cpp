#include "ntt.h"

namespace kyber_alg::kyber {

namespace {

constexpr int bit_rev7(int i) {
    int r = 0;
    for (int b = 0; b < 7; ++b) r |= ((i >> b) & 1) << (6 - b);
    return r;
}

constexpr int32_t pow_mod_q(int32_t base, int e) {
    int32_t r = 1;
    for (int i = 0; i < e; ++i) r = (r * base) % q;
    return r;
}

// x * 2^16 mod q, centred in (-q/2, q/2], the form fqmul expects.
constexpr int16_t montgomery_form(int32_t x) {
    int32_t r = static_cast<int32_t>((static_cast<int64_t>(x) << 16) % q);
    if (r > q / 2) r -= q;
    return static_cast<int16_t>(r);
}

constexpr int32_t zeta = 17;  // primitive 256th root of unity mod q

// zetas[i] = zeta^BitRev7(i), in Montgomery form (FIPS 203 Appendix A).
constexpr std::array<int16_t, 128> zetas = [] {
    std::array<int16_t, 128> z{};
    for (int i = 0; i < 128; ++i) z[i] = montgomery_form(pow_mod_q(zeta, bit_rev7(i)));
    return z;
}();

// gammas[i] = zeta^(2 BitRev7(i) + 1), in Montgomery form (MultiplyNTTs).
constexpr std::array<int16_t, 128> gammas = [] {
    std::array<int16_t, 128> g{};
    for (int i = 0; i < 128; ++i) g[i] = montgomery_form(pow_mod_q(zeta, 2 * bit_rev7(i) + 1));
    return g;
}();

// 2^32 / 128 mod q in Montgomery form: fqmul by it multiplies by 2^16 / 128.
constexpr int16_t inverse_ntt_scale = montgomery_form((montgomery_form(1) + q) % q * 3303 % q);
static_assert((128 * 3303) % q == 1);

constexpr int16_t montgomery_r2 = montgomery_form((montgomery_form(1) + q) % q);  // 2^32 mod q

static_assert(pow_mod_q(zeta, 128) == q - 1, "17 must have order 256 mod q");
static_assert(zetas[1] == montgomery_form(1729));

}  // namespace

void ntt(Poly& p) {
    int16_t* f = p.c.data();
    int i = 1;
    for (int len = 128; len >= 2; len /= 2) {
        for (int start = 0; start < 256; start += 2 * len) {
            const int16_t z = zetas[i++];
            for (int j = start; j < start + len; ++j) {
                const int16_t t = fqmul(z, f[j + len]);
                f[j + len] = static_cast<int16_t>(f[j] - t);
                f[j] = static_cast<int16_t>(f[j] + t);
            }
        }
    }
}

void ntt_inverse(Poly& p) {
    int16_t* f = p.c.data();
    int i = 127;
    for (int len = 2; len <= 128; len *= 2) {
        for (int start = 0; start < 256; start += 2 * len) {
            const int16_t z = zetas[i--];
            for (int j = start; j < start + len; ++j) {
                const int16_t t = f[j];
                f[j] = barrett_reduce(static_cast<int16_t>(t + f[j + len]));
                f[j + len] = fqmul(z, static_cast<int16_t>(f[j + len] - t));
            }
        }
    }
    for (int16_t& x : p.c) x = fqmul(x, inverse_ntt_scale);
}

// Algorithm 12 on all 128 pairs: (a0 + a1 X)(b0 + b1 X) mod (X^2 - gamma_i),
// written into h or added to it.
template <bool Accumulate>
void base_case_multiply_all(Poly& h, const Poly& f, const Poly& g) {
    for (int i = 0; i < 128; ++i) {
        const int16_t a0 = f.c[2 * i], a1 = f.c[2 * i + 1];
        const int16_t b0 = g.c[2 * i], b1 = g.c[2 * i + 1];
        int16_t c0 = static_cast<int16_t>(fqmul(a0, b0) + fqmul(fqmul(a1, b1), gammas[i]));
        int16_t c1 = static_cast<int16_t>(fqmul(a0, b1) + fqmul(a1, b0));
        if constexpr (Accumulate) {
            c0 = static_cast<int16_t>(c0 + h.c[2 * i]);
            c1 = static_cast<int16_t>(c1 + h.c[2 * i + 1]);
        }
        h.c[2 * i] = barrett_reduce(c0);
        h.c[2 * i + 1] = barrett_reduce(c1);
    }
}

void multiply_ntts(Poly& h, const Poly& f, const Poly& g) { base_case_multiply_all<false>(h, f, g); }

void multiply_ntts_add(Poly& h, const Poly& f, const Poly& g) { base_case_multiply_all<true>(h, f, g); }

void to_montgomery(Poly& f) {
    for (int16_t& x : f.c) x = fqmul(x, montgomery_r2);
}

void poly_reduce(Poly& f) {
    for (int16_t& x : f.c) x = barrett_reduce(x);
}

void poly_canonical(Poly& f) {
    for (int16_t& x : f.c) x = reduce_to_canonical(x);
}

void poly_add(Poly& f, const Poly& g) {
    for (int i = 0; i < n; ++i) f.c[i] = static_cast<int16_t>(f.c[i] + g.c[i]);
}

void poly_sub(Poly& f, const Poly& g) {
    for (int i = 0; i < n; ++i) f.c[i] = static_cast<int16_t>(f.c[i] - g.c[i]);
}

}  // namespace kyber_alg::kyber
