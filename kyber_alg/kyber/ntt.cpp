#include "ntt.h"

#include "backend.h"
#include "ntt_avx2.h"
#include "ntt_tables.h"

namespace kyber_alg::kyber {

using tables::gammas;
using tables::zetas;


void ntt(Poly& p) {
    KYBER_ALG_USE_AVX2(avx2::ntt(p));
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
    KYBER_ALG_USE_AVX2(avx2::ntt_inverse(p));
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
    for (int16_t& x : p.c) x = fqmul(x, tables::inverse_ntt_scale);
}

namespace {

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

}  // namespace

void multiply_ntts(Poly& h, const Poly& f, const Poly& g) {
    KYBER_ALG_USE_AVX2(avx2::multiply_ntts(h, f, g));
    base_case_multiply_all<false>(h, f, g);
}

void multiply_ntts_add(Poly& h, const Poly& f, const Poly& g) {
    KYBER_ALG_USE_AVX2(avx2::multiply_ntts_add(h, f, g));
    base_case_multiply_all<true>(h, f, g);
}

void to_montgomery(Poly& f) {
    KYBER_ALG_USE_AVX2(avx2::to_montgomery(f));
    for (int16_t& x : f.c) x = fqmul(x, tables::montgomery_r2);
}

void poly_reduce(Poly& f) {
    KYBER_ALG_USE_AVX2(avx2::poly_reduce(f));
    for (int16_t& x : f.c) x = barrett_reduce(x);
}

void poly_canonical(Poly& f) {
    KYBER_ALG_USE_AVX2(avx2::poly_canonical(f));
    for (int16_t& x : f.c) x = reduce_to_canonical(x);
}

void poly_add(Poly& f, const Poly& g) {
    for (int i = 0; i < n; ++i) f.c[i] = static_cast<int16_t>(f.c[i] + g.c[i]);
}

void poly_sub(Poly& f, const Poly& g) {
    for (int i = 0; i < n; ++i) f.c[i] = static_cast<int16_t>(f.c[i] - g.c[i]);
}

}  // namespace kyber_alg::kyber
