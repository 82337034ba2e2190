#include "ntt.hpp"

#include "common/ct.hpp"
#include "ntt_tables.hpp"

namespace kyber_alg::kyber {

using tables::gammas;
using tables::zetas;

void poly_add(Poly& f, const Poly& g) {
  for (int i = 0; i < n; ++i) f.c[i] = static_cast<int16_t>(f.c[i] + g.c[i]);
}

void poly_sub(Poly& f, const Poly& g) {
  for (int i = 0; i < n; ++i) f.c[i] = static_cast<int16_t>(f.c[i] - g.c[i]);
}

namespace portable {

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
  for (int16_t& x : p.c) x = fqmul(x, tables::inverse_ntt_scale);
}

// Algorithm 12 on all 128 pairs: (a0 + a1 X)(b0 + b1 X) mod (X^2 - gamma_i),
// written into h or added to it.
template <bool Accumulate>
static void base_case_multiply_all(Poly& h, const Poly& f, const Poly& g) {
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
  for (int16_t& x : f.c) x = fqmul(x, tables::montgomery_r2);
}

void poly_reduce(Poly& f) {
  for (int16_t& x : f.c) x = barrett_reduce(x);
}

void poly_canonical(Poly& f) {
  for (int16_t& x : f.c) x = barrett_reduce(x);  // to [-(q-1)/2, (q-1)/2]
  ct::add_if_negative(f.c, q);
}

}  // namespace portable

}  // namespace kyber_alg::kyber
