#include "mldsa/ntt.hpp"

#include <array>

#include "mldsa/reduce.hpp"

namespace kyber_alg::mldsa::portable {

namespace {

consteval int bit_reverse8(int i) {
  int r = 0;
  for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1) << (7 - b);
  return r;
}

// zeta^BitRev8(i) * 2^32 mod q, centred: multiplying by one with
// montgomery_mul multiplies by zeta^BitRev8(i).
consteval std::array<int32_t, 256> make_zetas() {
  std::array<int32_t, 256> z{};
  const int64_t r = pow_mod_q(2, 32);
  for (int i = 0; i < 256; ++i) {
    int64_t v = pow_mod_q(1753, bit_reverse8(i)) * r % q;
    if (v > q / 2) v -= q;
    z[i] = static_cast<int32_t>(v);
  }
  return z;
}

constexpr std::array<int32_t, 256> zetas = make_zetas();
static_assert(pow_mod_q(1753, 256) == q - 1);  // zeta is a primitive 512th root of unity

// 2^64 / 256 mod q: the final scaling of NTT^-1, applied by montgomery_mul
// (so it multiplies by 2^32 / 256).
constexpr int32_t inverse_scale = static_cast<int32_t>(pow_mod_q(2, 64) * pow_mod_q(256, q - 2) % q);

}  // namespace

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
