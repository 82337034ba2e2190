#include "mldsa/ntt.hpp"

#include "mldsa/ntt_tables.hpp"
#include "mldsa/reduce.hpp"

namespace kyber_alg::mldsa::portable {

void ntt(Poly& f) {
  int m = 0;
  for (int len = 128; len >= 1; len >>= 1) {
    for (int start = 0; start < n; start += 2 * len) {
      const int32_t z = zetas[++m];
      for (int j = start; j < start + len; ++j) {
        const int32_t t = montgomery_mul(z, f.c[j + len]);
        f.c[j + len] = f.c[j] - t;
        f.c[j] = f.c[j] + t;
      }
    }
  }
}

void ntt_inverse(Poly& f) {
  int m = 256;
  for (int len = 1; len < n; len <<= 1) {
    for (int start = 0; start < n; start += 2 * len) {
      const int32_t z = -zetas[--m];
      for (int j = start; j < start + len; ++j) {
        const int32_t t = f.c[j];
        f.c[j] = reduce32(t + f.c[j + len]);
        f.c[j + len] = montgomery_mul(z, t - f.c[j + len]);
      }
    }
  }
  for (int32_t& a : f.c) a = montgomery_mul(inverse_scale, a);
}

void pointwise_montgomery(Poly& out, const Poly& a, const Poly& b) {
  for (int i = 0; i < n; ++i) out.c[i] = montgomery_mul(a.c[i], b.c[i]);
}

void pointwise_accumulate(Poly& out, const Poly& a, const Poly& b) {
  for (int i = 0; i < n; ++i) out.c[i] += montgomery_mul(a.c[i], b.c[i]);
}

}  // namespace kyber_alg::mldsa::portable
