#include "mldsa/sampling.hpp"

#include <cstring>

#include "common/ct.hpp"
#include "mldsa/kernels.hpp"
#include "mldsa/packing.hpp"
#include "mlkem/keccak.hpp"
#include "mlkem/keccak_x4.hpp"
#include "mlkem/kernels.hpp"

namespace kyber_alg::mldsa {

using mlkem::Shake128;
using mlkem::Shake256;

void sample_in_ball(Poly& c, const uint8_t* rho, std::size_t rho_len, int tau) {
  Shake256 xof;
  xof.absorb(rho, rho_len);
  uint8_t s[8];
  xof.squeeze(s, 8);
  uint64_t signs = 0;
  for (int i = 0; i < 8; ++i) signs |= static_cast<uint64_t>(s[i]) << (8 * i);
  for (int32_t& x : c.c) x = 0;
  for (int i = n - tau; i < n; ++i) {
    uint8_t j;
    for (;;) {
      xof.squeeze(&j, 1);
      uint8_t keep = j <= i;
      ct::declassify(&keep, 1);  // which bytes are skipped, not where a +-1 goes
      if (keep) break;
    }
    // c_i = c_j; c_j = (-1)^h: a scan over c_0..c_i so that j stays secret.
    const auto sign = static_cast<int32_t>(1 - 2 * static_cast<int32_t>(signs & 1));
    signs >>= 1;
    // The comparisons are plain (t == j) masks so that the compiler turns
    // the scan into vector compares; the valgrind check covers the emitted code.
    int32_t at_j = 0;
    for (int t = 0; t <= i; ++t) {
      const int32_t hit = -static_cast<int32_t>(t == j);
      at_j |= c.c[t] & hit;
      c.c[t] = (c.c[t] & ~hit) | (sign & hit);
    }
    // If j == i, c_i is the new sign itself, not the old value of c_j.
    const int32_t same = -static_cast<int32_t>(i == j);
    c.c[i] = (at_j & ~same) | (sign & same);
  }
}

namespace {

// CoeffFromHalfByte (Algorithm 15) for one nibble of a secret polynomial:
// whether it is kept is public (it does not depend on the value kept), the
// value is computed without a branch.
inline int32_t coeff_from_half_byte(uint32_t b, int eta, bool& keep) {
  uint8_t accept = eta == 2 ? b < 15 : b < 9;
  ct::declassify(&accept, 1);
  keep = accept;
  if (eta == 2) return 2 - static_cast<int32_t>(b - 5 * ((b * 205) >> 10));  // b mod 5 for b < 16
  return 4 - static_cast<int32_t>(b);
}

// Four SHAKE sponges, each absorbing seed || 2 bytes once, read block by
// block: a four-way Keccak where the path has one, four sponges otherwise.
template <class Sponge, std::size_t SeedLen>
class Xof4 {
 public:
  static constexpr std::size_t rate = Sponge::rate;

  Xof4(const uint8_t* seed, const uint16_t suffixes[4]) : four_way_(four_way()) {
    uint8_t in[4][SeedLen + 2];
    for (int l = 0; l < 4; ++l) {
      std::memcpy(in[l], seed, SeedLen);
      in[l][SeedLen] = static_cast<uint8_t>(suffixes[l]);
      in[l][SeedLen + 1] = static_cast<uint8_t>(suffixes[l] >> 8);
    }
    if (four_way_) {
      const uint8_t* const lanes[4] = {in[0], in[1], in[2], in[3]};
      x4_.absorb_once(lanes, SeedLen + 2, rate, 0x1f);
    } else {
      for (int l = 0; l < 4; ++l) one_[l].absorb(in[l], SeedLen + 2);
    }
    ct::wipe(in, sizeof in);
  }

  void squeeze_block(uint8_t (&out)[4][rate]) {
    if (four_way_) {
      uint8_t* const lanes[4] = {out[0], out[1], out[2], out[3]};
      x4_.squeeze_blocks(lanes, 1, rate);
    } else {
      for (int l = 0; l < 4; ++l) one_[l].squeeze_blocks(out[l], 1);
    }
  }

 private:
  static bool four_way() { return kernels->four_way_keccak && mlkem::kernels->keccak_f1600_x4 != nullptr; }

  bool four_way_;
  mlkem::KeccakX4 x4_;
  Sponge one_[4];
};

// RejNTTPoly (Algorithm 30) for up to four polynomials at once; `count` of a[] are used. Each
// takes SHAKE128(rho || s || r) three bytes at a time (CoeffFromThreeBytes, Algorithm 14), keeping
// the values below q.
void rej_ntt_poly_x4(Poly* const a[4], int count, const uint8_t rho[32], const uint16_t suffixes[4]) {
  Xof4<Shake128, 32> xof(rho, suffixes);
  uint8_t block[4][Shake128::rate];
  int filled[4] = {0, 0, 0, 0};
  for (bool done = false; !done;) {
    xof.squeeze_block(block);
    done = true;
    for (int l = 0; l < count; ++l) {
      for (std::size_t i = 0; i + 3 <= Shake128::rate && filled[l] < n; i += 3) {
        const int32_t v = block[l][i] | (block[l][i + 1] << 8) | ((block[l][i + 2] & 0x7f) << 16);
        a[l]->c[filled[l]] = v;
        filled[l] += v < q;
      }
      done = done && filled[l] == n;
    }
  }
}

// RejBoundedPoly (Algorithm 31) for up to four polynomials at once: SHAKE256(rho || r), two
// nibbles per byte.
void rej_bounded_poly_x4(Poly* const a[4], int count, const uint8_t rho[64], const uint16_t suffixes[4],
                         int eta) {
  Xof4<Shake256, 64> xof(rho, suffixes);
  uint8_t block[4][Shake256::rate];
  int filled[4] = {0, 0, 0, 0};
  for (bool done = false; !done;) {
    xof.squeeze_block(block);
    done = true;
    for (int l = 0; l < count; ++l) {
      for (std::size_t i = 0; i < Shake256::rate && filled[l] < n; ++i) {
        bool keep;
        const int32_t z0 = coeff_from_half_byte(block[l][i] & 15u, eta, keep);
        if (keep) a[l]->c[filled[l]++] = z0;
        const int32_t z1 = coeff_from_half_byte(block[l][i] >> 4, eta, keep);
        if (keep && filled[l] < n) a[l]->c[filled[l]++] = z1;
      }
      done = done && filled[l] == n;
    }
  }
  ct::wipe(block, sizeof block);
}

// Calls f(polys, count, suffixes) for the polynomials in groups of four.
template <class F>
void in_fours(Poly* const* polys, const uint16_t* suffixes, int total, F f) {
  for (int i = 0; i < total; i += 4) {
    Poly* group[4] = {polys[i], nullptr, nullptr, nullptr};
    uint16_t group_suffixes[4] = {suffixes[i], suffixes[i], suffixes[i], suffixes[i]};
    int count = 1;
    for (; count < 4 && i + count < total; ++count) {
      group[count] = polys[i + count];
      group_suffixes[count] = suffixes[i + count];
    }
    // Unused lanes write into a scratch polynomial.
    Poly scratch[3];
    for (int l = count; l < 4; ++l) group[l] = &scratch[l - 1];
    f(group, count, group_suffixes);
    ct::wipe(scratch, sizeof scratch);
  }
}

}  // namespace

template <class P>
void expand_a(typename P::Matrix& a, const uint8_t rho[32]) {
  Poly* polys[P::k * P::l];
  uint16_t suffixes[P::k * P::l];
  for (int r = 0; r < P::k; ++r)
    for (int s = 0; s < P::l; ++s) {
      polys[r * P::l + s] = &a.row[r].p[s];
      suffixes[r * P::l + s] = static_cast<uint16_t>(s | (r << 8));  // rho || s || r
    }
  in_fours(polys, suffixes, P::k * P::l, [&](Poly* const group[4], int count, const uint16_t sfx[4]) {
    rej_ntt_poly_x4(group, count, rho, sfx);
  });
}

template <class P>
void expand_s(typename P::VecL& s1, typename P::VecK& s2, const uint8_t rho[64]) {
  Poly* polys[P::k + P::l];
  uint16_t suffixes[P::k + P::l];
  for (int r = 0; r < P::l + P::k; ++r) {
    polys[r] = r < P::l ? &s1.p[r] : &s2.p[r - P::l];
    suffixes[r] = static_cast<uint16_t>(r);
  }
  in_fours(polys, suffixes, P::k + P::l, [&](Poly* const group[4], int count, const uint16_t sfx[4]) {
    rej_bounded_poly_x4(group, count, rho, sfx, P::eta);
  });
}

template <class P>
void expand_mask(typename P::VecL& y, const uint8_t rho[64], uint16_t mu) {
  constexpr std::size_t bytes = 32 * P::z_bits;
  constexpr std::size_t blocks = (bytes + Shake256::rate - 1) / Shake256::rate;
  Poly* polys[P::l];
  uint16_t suffixes[P::l];
  for (int r = 0; r < P::l; ++r) {
    polys[r] = &y.p[r];
    suffixes[r] = static_cast<uint16_t>(mu + r);
  }
  in_fours(polys, suffixes, P::l, [&](Poly* const group[4], int count, const uint16_t sfx[4]) {
    Xof4<Shake256, 64> xof(rho, sfx);
    uint8_t v[blocks][4][Shake256::rate];
    for (std::size_t b = 0; b < blocks; ++b) xof.squeeze_block(v[b]);
    uint8_t stream[blocks * Shake256::rate];
    for (int l = 0; l < count; ++l) {
      for (std::size_t b = 0; b < blocks; ++b)
        std::memcpy(stream + b * Shake256::rate, v[b][l], Shake256::rate);
      bit_unpack<P::z_bits>(*group[l], stream, P::gamma1);
    }
    ct::wipe(v, sizeof v);
    ct::wipe(stream, sizeof stream);
  });
}

#define KYBER_ALG_MLDSA_SAMPLING(P)                              \
  template void expand_a<P>(P::Matrix&, const uint8_t*);         \
  template void expand_s<P>(P::VecL&, P::VecK&, const uint8_t*); \
  template void expand_mask<P>(P::VecL&, const uint8_t*, uint16_t);
KYBER_ALG_MLDSA_SAMPLING(MlDsa44)
KYBER_ALG_MLDSA_SAMPLING(MlDsa65)
KYBER_ALG_MLDSA_SAMPLING(MlDsa87)
#undef KYBER_ALG_MLDSA_SAMPLING

}  // namespace kyber_alg::mldsa
