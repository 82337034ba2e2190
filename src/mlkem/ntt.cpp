#include "mlkem/ntt.hpp"

#include "mlkem/canonical.hpp"
#include "mlkem/ntt_tables.hpp"

namespace kyber_alg::mlkem {

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

void mul_cache(PolyMulCache& cache, const Poly& g) {
  for (int i = 0; i < 128; ++i) {
    cache.c[2 * i] = g.c[2 * i];
    cache.c[2 * i + 1] = fqmul(g.c[2 * i + 1], gammas[i]);
  }
}

// Algorithm 12 on all 128 pairs, (a0 + a1 X)(b0 + b1 X) mod (X^2 - gamma_i)
// = (a0 b0 + a1 (b1 gamma_i)) + (a0 b1 + a1 b0) X, summed over j in 32 bits
// and reduced once. With |a| <= q, |b| < 8q and |b1 gamma_i| < q, a sum of
// K <= 4 such terms is below 64 q^2 < 2^30, so montgomery_reduce returns less
// than 2^30 / 2^16 + q/2 < 2^14 in size.
template <int K>
void multiply_accumulate(Poly& out, const Poly* const a[K], const std::array<Poly, K>& b,
                         const std::array<PolyMulCache, K>& b_cache) {
  for (int i = 0; i < n; i += 2) {
    int32_t c0 = 0, c1 = 0;
    for (int j = 0; j < K; ++j) {
      const int32_t a0 = a[j]->c[i], a1 = a[j]->c[i + 1];
      c0 += a0 * b_cache[j].c[i] + a1 * b_cache[j].c[i + 1];
      c1 += a0 * b[j].c[i + 1] + a1 * b[j].c[i];
    }
    out.c[i] = montgomery_reduce(c0);
    out.c[i + 1] = montgomery_reduce(c1);
  }
}

template void multiply_accumulate<2>(Poly&, const Poly* const[2], const std::array<Poly, 2>&,
                                     const std::array<PolyMulCache, 2>&);
template void multiply_accumulate<3>(Poly&, const Poly* const[3], const std::array<Poly, 3>&,
                                     const std::array<PolyMulCache, 3>&);
template void multiply_accumulate<4>(Poly&, const Poly* const[4], const std::array<Poly, 4>&,
                                     const std::array<PolyMulCache, 4>&);

void to_montgomery(Poly& f) {
  for (int16_t& x : f.c) x = fqmul(x, tables::montgomery_r2);
}

void poly_reduce(Poly& f) {
  for (int16_t& x : f.c) x = barrett_reduce(x);
}

void poly_canonical(Poly& f) {
  for (int16_t& x : f.c) x = barrett_reduce(x);  // to [-(q-1)/2, (q-1)/2]
  add_if_negative(f.c, q);
}

}  // namespace portable

}  // namespace kyber_alg::mlkem
