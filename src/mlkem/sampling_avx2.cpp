// AVX2 code (KYBER_ALG_TARGET_AVX2 functions), reached through the avx2 kernel table when the CPU has AVX2.
#include "mlkem/sampling_avx2.hpp"

#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

#include <immintrin.h>

#include <array>
#include <cstring>

#include "common/ct.hpp"
#include "mlkem/encoding.hpp"
#include "mlkem/k_pke.hpp"
#include "mlkem/keccak.hpp"
#include "mlkem/keccak_x4.hpp"
#include "mlkem/sampling.hpp"

namespace kyber_alg::mlkem::avx2 {

namespace {

using Vec = __m256i;

// For each 8-bit acceptance mask, a byte shuffle that moves the accepted
// 16-bit words of a 128-bit lane to the front, in order. Indexed by a mask
// of public data (SampleNTT works on rho), so the lookup leaks nothing.
constexpr std::array<std::array<uint8_t, 16>, 256> compress_shuffles = [] {
  std::array<std::array<uint8_t, 16>, 256> t{};
  for (int m = 0; m < 256; ++m) {
    int out = 0;
    for (int j = 0; j < 8; ++j)
      if (m & (1 << j)) {
        t[m][2 * out] = static_cast<uint8_t>(2 * j);
        t[m][2 * out + 1] = static_cast<uint8_t>(2 * j + 1);
        ++out;
      }
    for (int r = 2 * out; r < 16; ++r) t[m][r] = 0x80;  // zero the rest
  }
  return t;
}();

KYBER_ALG_TARGET_AVX2 inline __m128i load_shuffle(unsigned mask) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(compress_shuffles[mask].data()));
}

}  // namespace

KYBER_ALG_TARGET_AVX2 std::size_t parse_uniform_prefix(Poly& a, int& count, const uint8_t* buf,
                                                       std::size_t len) {
  // 24 bytes = 8 groups of 3 = 16 candidates; 12 bytes to each 128-bit lane.
  const Vec spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
  // Word 2g <- bytes (3g, 3g+1), word 2g+1 <- bytes (3g+1, 3g+2) of the lane.
  const Vec pairs = _mm256_setr_epi8(0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11,  //
                                     0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11);
  const Vec low12 = _mm256_set1_epi16(0x0fff);
  const Vec q_vec = _mm256_set1_epi16(q);
  std::size_t pos = 0;
  while (pos + 32 <= len && count <= n - 16) {
    Vec x = _mm256_loadu_si256(reinterpret_cast<const Vec*>(buf + pos));
    x = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(x, spread), pairs);
    // d1 = b0 + 256 (b1 mod 16) in even words, d2 = floor(b1 / 16) + 16 b2 in odd words
    const Vec d = _mm256_blend_epi16(_mm256_and_si256(x, low12), _mm256_srli_epi16(x, 4), 0xaa);
    const Vec accept = _mm256_cmpgt_epi16(q_vec, d);  // d < q
    const unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_packs_epi16(accept, accept)));
    const unsigned m0 = bits & 0xff, m1 = (bits >> 16) & 0xff;
    const __m128i lo = _mm_shuffle_epi8(_mm256_castsi256_si128(d), load_shuffle(m0));
    const __m128i hi = _mm_shuffle_epi8(_mm256_extracti128_si256(d, 1), load_shuffle(m1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a.c.data() + count), lo);
    count += __builtin_popcount(m0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a.c.data() + count), hi);
    count += __builtin_popcount(m1);
    pos += 24;
  }
  return pos;
}

KYBER_ALG_TARGET_AVX2 void sample_poly_cbd2(Poly& f, const uint8_t* b) {
  // Per byte: two coefficients, (x0 + x1) - (y0 + y1) over each nibble.
  const __m128i m55 = _mm_set1_epi8(0x55), m3 = _mm_set1_epi8(3);
  for (int i = 0; i < 8; ++i) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16 * i));
    const __m128i t = _mm_add_epi8(_mm_and_si128(x, m55), _mm_and_si128(_mm_srli_epi16(x, 1), m55));
    const __m128i lo = _mm_sub_epi8(_mm_and_si128(t, m3), _mm_and_si128(_mm_srli_epi16(t, 2), m3));
    const __m128i hi =
        _mm_sub_epi8(_mm_and_si128(_mm_srli_epi16(t, 4), m3), _mm_and_si128(_mm_srli_epi16(t, 6), m3));
    // Coefficient 2k from the low nibble of byte k, 2k+1 from the high one.
    const __m128i c0 = _mm_unpacklo_epi8(lo, hi), c1 = _mm_unpackhi_epi8(lo, hi);
    _mm256_storeu_si256(reinterpret_cast<Vec*>(f.c.data() + 32 * i), _mm256_cvtepi8_epi16(c0));
    _mm256_storeu_si256(reinterpret_cast<Vec*>(f.c.data() + 32 * i + 16), _mm256_cvtepi8_epi16(c1));
  }
}

KYBER_ALG_TARGET_AVX2 void sample_poly_cbd3(Poly& f, const uint8_t* b) {
  // 24 bytes -> 8 dwords of 3 bytes -> 32 coefficients of 6 bits each.
  const Vec spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
  const Vec to_dwords = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                         0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const Vec m249 = _mm256_set1_epi32(0x249249);
  const Vec fields = _mm256_set1_epi32(0x1c71c7);  // 3-bit fields at bits 0, 6, 12, 18
  const Vec bias = _mm256_set1_epi32(0x0c30c3);    // 3 in each field, so x - y never borrows
  const Vec m7 = _mm256_set1_epi32(7);
  const Vec three = _mm256_set1_epi8(3);
  for (int i = 0; i < 8; ++i) {
    Vec w = _mm256_loadu_si256(reinterpret_cast<const Vec*>(b + 24 * i));
    w = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(w, spread), to_dwords);
    const Vec s = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_and_si256(w, m249), _mm256_and_si256(_mm256_srli_epi32(w, 1), m249)),
        _mm256_and_si256(_mm256_srli_epi32(w, 2), m249));
    const Vec x = _mm256_and_si256(s, fields);                        // the x sums
    const Vec y = _mm256_and_si256(_mm256_srli_epi32(s, 3), fields);  // the y sums
    const Vec d = _mm256_sub_epi32(_mm256_add_epi32(x, bias), y);     // x - y + 3 per field
    // Field j (bits 6j..6j+2) to byte j of the dword.
    Vec bytes = _mm256_and_si256(d, m7);
    bytes = _mm256_or_si256(bytes, _mm256_and_si256(_mm256_slli_epi32(d, 2), _mm256_slli_epi32(m7, 8)));
    bytes = _mm256_or_si256(bytes, _mm256_and_si256(_mm256_slli_epi32(d, 4), _mm256_slli_epi32(m7, 16)));
    bytes = _mm256_or_si256(bytes, _mm256_and_si256(_mm256_slli_epi32(d, 6), _mm256_slli_epi32(m7, 24)));
    bytes = _mm256_sub_epi8(bytes, three);
    _mm256_storeu_si256(reinterpret_cast<Vec*>(f.c.data() + 32 * i),
                        _mm256_cvtepi8_epi16(_mm256_castsi256_si128(bytes)));
    _mm256_storeu_si256(reinterpret_cast<Vec*>(f.c.data() + 32 * i + 16),
                        _mm256_cvtepi8_epi16(_mm256_extracti128_si256(bytes, 1)));
  }
}

namespace {

// Algorithm 7's loop with the vector prefix, then the portable loop for the rest.
int parse_uniform_x16(Poly& a, int count, const uint8_t* buf, std::size_t len) {
  const std::size_t pos = parse_uniform_prefix(a, count, buf, len);
  return parse_uniform(a, count, buf + pos, len - pos);
}

// SampleNTT of up to four matrix entries at once: entry e of the batch is
// polys[e] from rho || j[e] || i[e]. Unused lanes repeat entry 0.
void sample_ntt_x4(Poly* const polys[4], const uint8_t j[4], const uint8_t i[4], int count,
                   const uint8_t rho[32]) {
  uint8_t seeds[4][34];
  const uint8_t* in[4];
  alignas(32) uint8_t bufs[4][sample_ntt_first_blocks * Shake128::rate];
  uint8_t* out[4];
  Poly spare[3];
  Poly* lanes[4];
  for (int e = 0; e < 4; ++e) {
    const int from = e < count ? e : 0;
    std::memcpy(seeds[e], rho, 32);
    seeds[e][32] = j[from];
    seeds[e][33] = i[from];
    in[e] = seeds[e];
    out[e] = bufs[e];
    lanes[e] = e < count ? polys[e] : &spare[e - 1];
  }
  KeccakX4 xof;
  xof.absorb_once(in, 34, Shake128::rate, 0x1f);
  xof.squeeze_blocks(out, sample_ntt_first_blocks, Shake128::rate);
  int counts[4];
  bool done = true;
  for (int e = 0; e < 4; ++e) {
    counts[e] = parse_uniform_x16(*lanes[e], 0, bufs[e], sizeof bufs[e]);
    done &= counts[e] == n;
  }
  while (!done) {  // rare: squeeze one more block of all four
    xof.squeeze_blocks(out, 1, Shake128::rate);
    done = true;
    for (int e = 0; e < 4; ++e) {
      counts[e] = parse_uniform_x16(*lanes[e], counts[e], bufs[e], Shake128::rate);
      done &= counts[e] == n;
    }
  }
}

// SamplePolyCBD of PRF(seed, nonce[l]) for up to four polynomials at once,
// each with its own eta (2 or 3). Unused lanes repeat lane 0.
void sample_cbd_x4(Poly* const polys[4], const int eta[4], const uint8_t nonce[4], int count,
                   const uint8_t seed[32]) {
  // Two SHAKE256 blocks (272 bytes) cover the 192 bytes eta = 3 needs, one the 128 of eta = 2.
  bool any_eta3 = false;
  for (int l = 0; l < count; ++l) any_eta3 |= eta[l] == 3;
  const std::size_t blocks = any_eta3 ? 2 : 1;
  uint8_t inputs[4][33];
  const uint8_t* in[4];
  // sample_poly_cbd3 reads up to 8 bytes past its 192, which the buffer has.
  ct::Wiped<uint8_t[4][2 * Shake256::rate]> bufs;
  uint8_t* out[4];
  for (int l = 0; l < 4; ++l) {
    std::memcpy(inputs[l], seed, 32);
    inputs[l][32] = nonce[l < count ? l : 0];
    in[l] = inputs[l];
    out[l] = bufs.value[l];
  }
  KeccakX4 xof;
  xof.absorb_once(in, 33, Shake256::rate, 0x1f);
  xof.squeeze_blocks(out, blocks, Shake256::rate);
  ct::wipe(inputs, sizeof inputs);
  for (int l = 0; l < count; ++l)
    eta[l] == 3 ? sample_poly_cbd3(*polys[l], bufs.value[l]) : sample_poly_cbd2(*polys[l], bufs.value[l]);
}

// A list of noise polynomials of K-PKE, drawn four at a time; a single one
// left over is drawn alone unless SingleByX4 (where the four-way permutation
// costs less than the one-state one).
template <bool SingleByX4>
void sample_noise(Poly* const polys[], const int eta[], int total, const uint8_t seed[32]) {
  for (int first = 0; first < total; first += 4) {
    const int count = total - first < 4 ? total - first : 4;
    uint8_t nonces[4] = {};
    for (int l = 0; l < count; ++l) nonces[l] = static_cast<uint8_t>(first + l);
    if (count == 1 && !SingleByX4) {
      eta[first] == 3 ? sample_poly_cbd_prf<3>(*polys[first], seed, nonces[0])
                      : sample_poly_cbd_prf<2>(*polys[first], seed, nonces[0]);
    } else {
      sample_cbd_x4(polys + first, eta + first, nonces, count, seed);
    }
  }
}

}  // namespace

template <class P, bool SingleByX4>
void sample_matrix(typename P::PolyMat& a, const uint8_t rho[32]) {
  constexpr int total = P::k * P::k;
  for (int first = 0; first < total; first += 4) {
    const int count = total - first < 4 ? total - first : 4;
    Poly* polys[4];
    uint8_t js[4], is[4];
    for (int e = 0; e < count; ++e) {
      const int i = (first + e) / P::k, j = (first + e) % P::k;
      polys[e] = &a[i][j];
      js[e] = static_cast<uint8_t>(j);
      is[e] = static_cast<uint8_t>(i);
    }
    if (count == 1 && !SingleByX4)
      sample_ntt(*polys[0], rho, js[0], is[0]);
    else
      sample_ntt_x4(polys, js, is, count, rho);
  }
}

template <class P, bool SingleByX4>
void sample_noise_keygen(typename P::PolyVec& s, typename P::PolyVec& e, const uint8_t sigma[32]) {
  Poly* polys[2 * P::k];
  int eta[2 * P::k];
  for (int i = 0; i < P::k; ++i) {
    polys[i] = &s[i], polys[P::k + i] = &e[i];
    eta[i] = eta[P::k + i] = P::eta1;
  }
  sample_noise<SingleByX4>(polys, eta, 2 * P::k, sigma);
}

template <class P, bool SingleByX4>
void sample_noise_encrypt(typename P::PolyVec& y, typename P::PolyVec& e1, Poly& e2, const uint8_t r[32]) {
  Poly* polys[2 * P::k + 1];
  int eta[2 * P::k + 1];
  for (int i = 0; i < P::k; ++i) {
    polys[i] = &y[i], polys[P::k + i] = &e1[i];
    eta[i] = P::eta1, eta[P::k + i] = eta2;
  }
  polys[2 * P::k] = &e2, eta[2 * P::k] = eta2;
  sample_noise<SingleByX4>(polys, eta, 2 * P::k + 1, r);
}

template <class P>
void decaps_hashes_x4(uint8_t k_r[64], uint8_t k_bar[32], EncryptionNoise<P>& noise, const uint8_t m[32],
                      const uint8_t h[32], const uint8_t z[32], const uint8_t c[P::ct_bytes]) {
  // Lane 0 absorbs z || c for J, one block per step, for the whole run; lane
  // 1 computes G in the first step; then lanes 1-3 draw the noise from r'.
  // Which lane does what at each step depends only on the parameter set.
  constexpr std::size_t j_len = 32 + P::ct_bytes;
  ct::Wiped<uint8_t[j_len]> z_c;
  std::memcpy(z_c.value, z, 32);
  std::memcpy(z_c.value + 32, c, P::ct_bytes);
  ct::Wiped<uint8_t[64]> m_h;
  std::memcpy(m_h.value, m, 32);
  std::memcpy(m_h.value + 32, h, 32);

  KeccakLanes lanes;
  std::size_t j_block = 0;
  bool j_last = lanes.absorb_block(0, z_c.value, j_len, j_block++, Shake256::rate, 0x1f);
  lanes.absorb_block(1, m_h.value, 64, 0, Sha3_512::rate, 0x06);
  lanes.permute();
  lanes.read(1, k_r, 64);
  bool j_done = j_last;
  if (j_done) lanes.read(0, k_bar, 32);

  struct Job {
    Poly* poly;
    int eta;
  };
  constexpr int total = 2 * P::k + 1;  // y (nonces 0..k-1), e1 (k..2k-1), e2 (2k)
  Job jobs[total];
  for (int i = 0; i < P::k; ++i) jobs[i] = {&noise.y[i], P::eta1}, jobs[P::k + i] = {&noise.e1[i], eta2};
  jobs[2 * P::k] = {&noise.e2, eta2};
  int next = 0;
  int job_in[4] = {-1, -1, -1, -1};  // the job each noise lane works on
  std::size_t blocks_out[4] = {};
  ct::Wiped<uint8_t[4][2 * Shake256::rate]> bufs;  // up to 192 bytes of PRF output, and cbd3's overread
  ct::Wiped<uint8_t[33]> prf_in;
  std::memcpy(prf_in.value, k_r + 32, 32);  // r'

  auto busy = [&] { return job_in[1] >= 0 || job_in[2] >= 0 || job_in[3] >= 0; };
  while (!j_done || next < total || busy()) {
    if (!j_done && !j_last) j_last = lanes.absorb_block(0, z_c.value, j_len, j_block++, Shake256::rate, 0x1f);
    for (int l = 1; l < 4; ++l) {
      if (job_in[l] >= 0 || next == total) continue;  // still squeezing, or nothing left
      prf_in.value[32] = static_cast<uint8_t>(next);
      lanes.clear(l);
      lanes.absorb_block(l, prf_in.value, 33, 0, Shake256::rate, 0x1f);
      job_in[l] = next++;
      blocks_out[l] = 0;
    }
    lanes.permute();
    if (!j_done && j_last) {
      lanes.read(0, k_bar, 32);
      j_done = true;
    }
    for (int l = 1; l < 4; ++l) {
      if (job_in[l] < 0) continue;
      const Job& job = jobs[job_in[l]];
      const std::size_t want = 64 * static_cast<std::size_t>(job.eta), have = Shake256::rate * blocks_out[l];
      lanes.read(l, bufs.value[l] + have, want - have < Shake256::rate ? want - have : Shake256::rate);
      if (have + Shake256::rate < want) {
        ++blocks_out[l];  // eta = 3 needs a second block
        continue;
      }
      job.eta == 3 ? sample_poly_cbd3(*job.poly, bufs.value[l]) : sample_poly_cbd2(*job.poly, bufs.value[l]);
      job_in[l] = -1;
    }
  }
}

template <class P>
void keygen_expand_x4(PkeEncryptionKey<P>& ek, PkeDecryptionKey<P>& dk, uint8_t ek_bytes[P::ek_bytes],
                      uint8_t h[32], const uint8_t sigma[32]) {
  // Every SHAKE call of K-PKE.KeyGen and the blocks of H(ek) share the four
  // lanes: the noise and matrix entries in the order the rows of t_hat need
  // them, each row made (and encoded) as soon as its inputs are there, and
  // each block of H(ek) absorbed in a free lane as soon as its bytes are.
  // Which lane does what depends only on the parameter set and on rho
  // (rejection sampling), both public.
  constexpr int k = P::k;
  using PolyVec = typename P::PolyVec;
  PolyVec& s = dk.s_hat;
  ct::Wiped<PolyVec> e;
  ct::Wiped<typename P::MulCacheVec> s_cache;

  struct Job {
    Poly* poly;
    int eta;  // 0: SampleNTT of matrix row `row`
    int row;  // the row of t_hat it is for; -1: all of them (s)
    uint8_t nonce_or_j;
  };
  // Row 0's matrix entries first (SampleNTT takes three steps, the noise one
  // or two), then s and e[0], then row by row.
  constexpr int total = 2 * k + k * k;
  Job jobs[total];
  int next_job = 0;
  for (int i = 0; i < k; ++i) {
    for (int j = 0; j < k; ++j) jobs[next_job++] = {&ek.a_hat[i][j], 0, i, static_cast<uint8_t>(j)};
    if (i == 0)
      for (int m = 0; m < k; ++m) jobs[next_job++] = {&s[m], P::eta1, -1, static_cast<uint8_t>(m)};
    jobs[next_job++] = {&e.value[i], P::eta1, i, static_cast<uint8_t>(k + i)};
  }
  next_job = 0;

  // What each row of t_hat waits for: its e[i] and k matrix entries, and all of s.
  int row_missing[k], s_missing = k, rows_made = 0;
  bool row_made[k] = {};
  for (int& m : row_missing) m = 1 + k;

  std::memcpy(ek_bytes + P::dk_pke_bytes, ek.rho, 32);
  uint64_t h_state[25] = {};
  std::size_t h_block = 0;
  bool h_done = false;

  KeccakLanes lanes;
  int job_in[4] = {-1, -1, -1, -1};
  int count[4] = {};
  std::size_t have[4] = {};
  ct::Wiped<uint8_t[4][2 * Shake256::rate]> noise_out;  // up to 192 bytes, and cbd3's overread
  // SampleNTT's first three blocks are parsed together, as sample_ntt_x4 does.
  alignas(32) uint8_t xof_out[4][sample_ntt_first_blocks * Shake128::rate];
  ct::Wiped<uint8_t[33]> prf_in;
  std::memcpy(prf_in.value, sigma, 32);
  uint8_t xof_in[34];
  std::memcpy(xof_in, ek.rho, 32);

  while (!h_done) {
    // H(ek): its next block, once those bytes of ek are there (all of ek for the last).
    int h_lane = -1;
    bool h_last = false;
    const std::size_t h_end = (h_block + 1) * Sha3_256::rate;
    const bool h_ready = rows_made == k || h_end <= poly_bytes * static_cast<std::size_t>(rows_made);
    for (int l = 0; l < 4 && h_ready; ++l) {
      if (job_in[l] >= 0) continue;
      h_lane = l;
      lanes.load(l, h_state);
      h_last = lanes.absorb_block(l, ek_bytes, P::ek_bytes, h_block++, Sha3_256::rate, 0x06);
      break;
    }
    // The next jobs in the other free lanes.
    for (int l = 0; l < 4; ++l) {
      if (l == h_lane || job_in[l] >= 0 || next_job == total) continue;
      const Job& job = jobs[next_job];
      lanes.clear(l);
      if (job.eta == 0) {
        xof_in[32] = job.nonce_or_j;
        xof_in[33] = static_cast<uint8_t>(job.row);
        lanes.absorb_block(l, xof_in, 34, 0, Shake128::rate, 0x1f);
      } else {
        prf_in.value[32] = job.nonce_or_j;
        lanes.absorb_block(l, prf_in.value, 33, 0, Shake256::rate, 0x1f);
      }
      job_in[l] = next_job++;
      count[l] = 0;
      have[l] = 0;
    }
    lanes.permute();

    if (h_lane >= 0) {
      lanes.store(h_lane, h_state);
      if (h_last) {
        lanes.read(h_lane, h, 32);
        h_done = true;
      }
    }
    for (int l = 0; l < 4; ++l) {
      if (job_in[l] < 0) continue;
      const Job& job = jobs[job_in[l]];
      if (job.eta == 0) {  // one more block of SampleNTT's XOF (have counts blocks here)
        const std::size_t slot = have[l] < sample_ntt_first_blocks ? have[l] : 0;
        lanes.read(l, xof_out[l] + Shake128::rate * slot, Shake128::rate);
        if (++have[l] < sample_ntt_first_blocks) continue;
        count[l] = parse_uniform_x16(*job.poly, count[l], xof_out[l], Shake128::rate * (slot + 1));
        if (count[l] < n) continue;
      } else {  // PRF output, 128 or 192 bytes
        const std::size_t want = 64 * static_cast<std::size_t>(job.eta);
        const std::size_t take = want - have[l] < Shake256::rate ? want - have[l] : Shake256::rate;
        lanes.read(l, noise_out.value[l] + have[l], take);
        have[l] += take;
        if (have[l] < want) continue;
        job.eta == 3 ? sample_poly_cbd3(*job.poly, noise_out.value[l])
                     : sample_poly_cbd2(*job.poly, noise_out.value[l]);
      }
      job_in[l] = -1;
      if (job.row < 0)
        --s_missing;
      else
        --row_missing[job.row];
    }

    // The rows of t_hat whose inputs are all there; ek grows row by row.
    if (s_missing == 0) {
      s_missing = -1;
      keygen_transform_s<P>(s, s_cache.value);
    }
    for (int i = 0; i < k && s_missing < 0; ++i) {
      if (row_made[i] || row_missing[i] != 0) continue;
      keygen_row<P>(ek, i, s, s_cache.value, e.value[i]);
      byte_encode_12(ek_bytes + poly_bytes * i, ek.t_hat[i]);
      row_made[i] = true;
    }
    while (rows_made < k && row_made[rows_made]) ++rows_made;
  }
  ct::wipe(h_state, sizeof h_state);  // H of the still unpublished ek
  keygen_finish_s<P>(s);
}

template void sample_matrix<MlKem512, false>(MlKem512::PolyMat&, const uint8_t*);
template void sample_noise_keygen<MlKem512, false>(MlKem512::PolyVec&, MlKem512::PolyVec&, const uint8_t*);
template void sample_noise_encrypt<MlKem512, false>(MlKem512::PolyVec&, MlKem512::PolyVec&, Poly&,
                                                    const uint8_t*);
template void sample_matrix<MlKem512, true>(MlKem512::PolyMat&, const uint8_t*);
template void sample_noise_keygen<MlKem512, true>(MlKem512::PolyVec&, MlKem512::PolyVec&, const uint8_t*);
template void sample_noise_encrypt<MlKem512, true>(MlKem512::PolyVec&, MlKem512::PolyVec&, Poly&,
                                                   const uint8_t*);
template void keygen_expand_x4<MlKem512>(PkeEncryptionKey<MlKem512>&, PkeDecryptionKey<MlKem512>&, uint8_t*,
                                         uint8_t*, const uint8_t*);
template void decaps_hashes_x4<MlKem512>(uint8_t*, uint8_t*, EncryptionNoise<MlKem512>&, const uint8_t*,
                                         const uint8_t*, const uint8_t*, const uint8_t*);
template void sample_matrix<MlKem768, false>(MlKem768::PolyMat&, const uint8_t*);
template void sample_noise_keygen<MlKem768, false>(MlKem768::PolyVec&, MlKem768::PolyVec&, const uint8_t*);
template void sample_noise_encrypt<MlKem768, false>(MlKem768::PolyVec&, MlKem768::PolyVec&, Poly&,
                                                    const uint8_t*);
template void sample_matrix<MlKem768, true>(MlKem768::PolyMat&, const uint8_t*);
template void sample_noise_keygen<MlKem768, true>(MlKem768::PolyVec&, MlKem768::PolyVec&, const uint8_t*);
template void sample_noise_encrypt<MlKem768, true>(MlKem768::PolyVec&, MlKem768::PolyVec&, Poly&,
                                                   const uint8_t*);
template void keygen_expand_x4<MlKem768>(PkeEncryptionKey<MlKem768>&, PkeDecryptionKey<MlKem768>&, uint8_t*,
                                         uint8_t*, const uint8_t*);
template void decaps_hashes_x4<MlKem768>(uint8_t*, uint8_t*, EncryptionNoise<MlKem768>&, const uint8_t*,
                                         const uint8_t*, const uint8_t*, const uint8_t*);
template void sample_matrix<MlKem1024, false>(MlKem1024::PolyMat&, const uint8_t*);
template void sample_noise_keygen<MlKem1024, false>(MlKem1024::PolyVec&, MlKem1024::PolyVec&, const uint8_t*);
template void sample_noise_encrypt<MlKem1024, false>(MlKem1024::PolyVec&, MlKem1024::PolyVec&, Poly&,
                                                     const uint8_t*);
template void sample_matrix<MlKem1024, true>(MlKem1024::PolyMat&, const uint8_t*);
template void sample_noise_keygen<MlKem1024, true>(MlKem1024::PolyVec&, MlKem1024::PolyVec&, const uint8_t*);
template void sample_noise_encrypt<MlKem1024, true>(MlKem1024::PolyVec&, MlKem1024::PolyVec&, Poly&,
                                                    const uint8_t*);
template void keygen_expand_x4<MlKem1024>(PkeEncryptionKey<MlKem1024>&, PkeDecryptionKey<MlKem1024>&,
                                          uint8_t*, uint8_t*, const uint8_t*);
template void decaps_hashes_x4<MlKem1024>(uint8_t*, uint8_t*, EncryptionNoise<MlKem1024>&, const uint8_t*,
                                          const uint8_t*, const uint8_t*, const uint8_t*);

}  // namespace kyber_alg::mlkem::avx2

#endif  // KYBER_ALG_HAVE_X86_VECTOR
