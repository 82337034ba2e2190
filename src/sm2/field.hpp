// Arithmetic modulo the SM2 prime p = 2^256 - 2^224 - 2^96 + 2^64 - 1 (sm2p256v1).
//
// Elements are four 64-bit limbs, least significant first, kept in Montgomery
// form (a*R mod p with R = 2^256) and always fully reduced (< p). Every function
// runs in time independent of the values: carries are propagated
// arithmetically and final corrections are masked selects.
#pragma once

#include <cstdint>

#include "common/ct.hpp"
#include "sm2/limbs.hpp"

// On x86-64, multiplication (squaring through it), addition and subtraction
// are inline-assembly blocks of baseline instructions (MUL, ADC/SBB, CMOV:
// every x86-64 CPU has them), and the other carry chains use the
// add-with-carry intrinsics (limbs.hpp): compiled 128-bit arithmetic came out
// two to three times slower. Builds with KYBER_ALG_SM2_GENERIC_CARRIES use the
// plain C++ versions throughout, as other targets do.

namespace kyber_alg::sm2 {

struct Fe {
  uint64_t v[4];
};

inline constexpr Fe kPrime = {
    {0xffffffffffffffff, 0xffffffff00000000, 0xffffffffffffffff, 0xfffffffeffffffff}};
// R mod p: the Montgomery form of 1.
inline constexpr Fe kOne = {{0x0000000000000001, 0x00000000ffffffff, 0x0000000000000000, 0x0000000100000000}};
// R^2 mod p: multiplying by it enters Montgomery form.
inline constexpr Fe kRSquared = {
    {0x0000000200000003, 0x00000002ffffffff, 0x0000000100000001, 0x0000000400000002}};

namespace detail {

// r = (top:t) mod p for a value below 2p held in 257 bits.
inline void reduce_once(Fe& r, const uint64_t t[4], uint64_t top) {
  uint64_t borrow = 0;
  uint64_t d[4];
  for (int i = 0; i < 4; ++i) d[i] = sub_borrow(t[i], kPrime.v[i], borrow);
  // Keep t only when it was already below p: no carry out of 256 bits and a borrow.
  const uint64_t keep = ct::mask64_from_bit(borrow & (top ^ 1));
  for (int i = 0; i < 4; ++i) r.v[i] = (t[i] & keep) | (d[i] & ~keep);
}

// One Montgomery round on a 256-bit value r: (r + m*p) / 2^64 with m = r[0].
// Because p = -1 mod 2^64 the quotient digit is the low limb itself, the
// low limb cancels, and what remains is r / 2^64 + m*(2^192 - 2^160 - 2^32 + 1),
// built from shifts. That sum stays below 2^256, so four limbs hold it.
inline void montgomery_round(uint64_t& r0, uint64_t& r1, uint64_t& r2, uint64_t& r3) {
  const uint64_t m = r0;
  const uint64_t lo = m << 32, hi = m >> 32;
  uint64_t borrow = 0;
  const uint64_t q0 = sub_borrow(m, lo, borrow);
  const uint64_t q1 = sub_borrow(0, hi, borrow);
  const uint64_t q2 = sub_borrow(0, lo, borrow);
  const uint64_t q3 = sub_borrow(m, hi, borrow);
  uint64_t carry = 0;
  r0 = add_carry(r1, q0, carry);
  r1 = add_carry(r2, q1, carry);
  r2 = add_carry(r3, q2, carry);
  r3 = q3 + carry;
}

// Montgomery reduction of a 512-bit product: t * 2^-256 mod p. The low half
// goes through four rounds, then the high half is added; the sum is the
// usual (t + M*p) / 2^256 < 2p, so one conditional subtraction finishes it.
inline void montgomery_reduce(Fe& r, const uint64_t t[8]) {
  uint64_t r0 = t[0], r1 = t[1], r2 = t[2], r3 = t[3];
  montgomery_round(r0, r1, r2, r3);
  montgomery_round(r0, r1, r2, r3);
  montgomery_round(r0, r1, r2, r3);
  montgomery_round(r0, r1, r2, r3);
  uint64_t carry = 0;
  const uint64_t s[4] = {add_carry(r0, t[4], carry), add_carry(r1, t[5], carry), add_carry(r2, t[6], carry),
                         add_carry(r3, t[7], carry)};
  reduce_once(r, s, carry);
}

}  // namespace detail

// The assembly blocks below read their operands through the "m" inputs and
// return results in registers, so the compiler keeps the surrounding values in
// registers too (a "memory" clobber made each addition four times slower).
#if KYBER_ALG_SM2_CARRY_INTRINSICS
#define KYBER_ALG_SM2_LIMBS(x) "m"(*reinterpret_cast<const uint64_t (*)[4]>((x).v))
#endif

inline Fe fe_add(const Fe& a, const Fe& b) {
#if KYBER_ALG_SM2_CARRY_INTRINSICS
  // Sum in 257 bits, minus p, keep the difference unless it borrowed.
  uint64_t r0, r1, r2, r3, s0, s1, s2, s3, top;
  const uint64_t* pa = a.v;
  const uint64_t* pb = b.v;
  __asm__(
      "xorl %k[top], %k[top]\n\t"
      "movq 0(%[a]), %[r0]\n\t"
      "addq 0(%[b]), %[r0]\n\t"
      "movq 8(%[a]), %[r1]\n\t"
      "adcq 8(%[b]), %[r1]\n\t"
      "movq 16(%[a]), %[r2]\n\t"
      "adcq 16(%[b]), %[r2]\n\t"
      "movq 24(%[a]), %[r3]\n\t"
      "adcq 24(%[b]), %[r3]\n\t"
      "adcq $0, %[top]\n\t"
      "movabsq $0xffffffff00000000, %[a]\n\t"
      "movabsq $0xfffffffeffffffff, %[b]\n\t"
      "movq %[r0], %[s0]\n\t"
      "movq %[r1], %[s1]\n\t"
      "movq %[r2], %[s2]\n\t"
      "movq %[r3], %[s3]\n\t"
      "subq $-1, %[s0]\n\t"
      "sbbq %[a], %[s1]\n\t"
      "sbbq $-1, %[s2]\n\t"
      "sbbq %[b], %[s3]\n\t"
      "sbbq $0, %[top]\n\t"
      "cmovncq %[s0], %[r0]\n\t"
      "cmovncq %[s1], %[r1]\n\t"
      "cmovncq %[s2], %[r2]\n\t"
      "cmovncq %[s3], %[r3]\n\t"
      : [r0] "=&r"(r0), [r1] "=&r"(r1), [r2] "=&r"(r2), [r3] "=&r"(r3), [s0] "=&r"(s0), [s1] "=&r"(s1),
        [s2] "=&r"(s2), [s3] "=&r"(s3), [top] "=&r"(top), [a] "+&r"(pa), [b] "+&r"(pb)
      : KYBER_ALG_SM2_LIMBS(a), KYBER_ALG_SM2_LIMBS(b)
      : "cc");
  return Fe{{r0, r1, r2, r3}};
#else
  Fe r;
  uint64_t carry = 0, s[4];
  for (int i = 0; i < 4; ++i) s[i] = add_carry(a.v[i], b.v[i], carry);
  detail::reduce_once(r, s, carry);
  return r;
#endif
}

inline Fe fe_sub(const Fe& a, const Fe& b) {
#if KYBER_ALG_SM2_CARRY_INTRINSICS
  // Difference, then p added back under the all-ones mask of the borrow.
  uint64_t r0, r1, r2, r3, mask, p1, p3;
  __asm__(
      "xorl %k[mask], %k[mask]\n\t"
      "movq 0(%[a]), %[r0]\n\t"
      "subq 0(%[b]), %[r0]\n\t"
      "movq 8(%[a]), %[r1]\n\t"
      "sbbq 8(%[b]), %[r1]\n\t"
      "movq 16(%[a]), %[r2]\n\t"
      "sbbq 16(%[b]), %[r2]\n\t"
      "movq 24(%[a]), %[r3]\n\t"
      "sbbq 24(%[b]), %[r3]\n\t"
      "sbbq %[mask], %[mask]\n\t"
      "movabsq $0xffffffff00000000, %[p1]\n\t"
      "movabsq $0xfffffffeffffffff, %[p3]\n\t"
      "andq %[mask], %[p1]\n\t"
      "andq %[mask], %[p3]\n\t"
      "addq %[mask], %[r0]\n\t"
      "adcq %[p1], %[r1]\n\t"
      "adcq %[mask], %[r2]\n\t"
      "adcq %[p3], %[r3]\n\t"
      : [r0] "=&r"(r0), [r1] "=&r"(r1), [r2] "=&r"(r2), [r3] "=&r"(r3), [mask] "=&r"(mask), [p1] "=&r"(p1),
        [p3] "=&r"(p3)
      : [a] "r"(a.v), [b] "r"(b.v), KYBER_ALG_SM2_LIMBS(a), KYBER_ALG_SM2_LIMBS(b)
      : "cc");
  return Fe{{r0, r1, r2, r3}};
#else
  Fe r;
  uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) r.v[i] = sub_borrow(a.v[i], b.v[i], borrow);
  // Add p back when the difference went negative.
  const uint64_t mask = ct::mask64_from_bit(borrow);
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) r.v[i] = add_carry(r.v[i], kPrime.v[i] & mask, carry);
  return r;
#endif
}

// a / 2: a + p when a is odd (p is odd, so the sum is even), then one bit
// to the right across the 257-bit sum.
inline Fe fe_half(const Fe& a) {
  const uint64_t mask = ct::mask64_from_bit(a.v[0] & 1);
  uint64_t carry = 0, s[4];
  for (int i = 0; i < 4; ++i) s[i] = add_carry(a.v[i], kPrime.v[i] & mask, carry);
  Fe r;
  for (int i = 0; i < 3; ++i) r.v[i] = (s[i] >> 1) | (s[i + 1] << 63);
  r.v[3] = (s[3] >> 1) | (carry << 63);
  return r;
}

inline Fe fe_neg(const Fe& a) { return fe_sub(Fe{{0, 0, 0, 0}}, a); }

inline Fe fe_double(const Fe& a) { return fe_add(a, a); }

namespace detail {

// t[0..4] = x * y[0..3] (t[4] the top limb). The products are summed in
// two unbroken carry chains, which compilers turn into plain ADC sequences.
inline void mul_row(uint64_t t[5], uint64_t x, const uint64_t y[4]) {
  const u128 p0 = static_cast<u128>(x) * y[0], p1 = static_cast<u128>(x) * y[1];
  const u128 p2 = static_cast<u128>(x) * y[2], p3 = static_cast<u128>(x) * y[3];
  uint64_t carry = 0;
  t[0] = static_cast<uint64_t>(p0);
  t[1] = add_carry(static_cast<uint64_t>(p1), static_cast<uint64_t>(p0 >> 64), carry);
  t[2] = add_carry(static_cast<uint64_t>(p2), static_cast<uint64_t>(p1 >> 64), carry);
  t[3] = add_carry(static_cast<uint64_t>(p3), static_cast<uint64_t>(p2 >> 64), carry);
  t[4] = static_cast<uint64_t>(p3 >> 64) + carry;  // x*y < 2^320: no carry out
}

// acc[0..4] += row[0..4]; acc[4] was zero, so nothing carries further.
inline void add_row(uint64_t acc[5], const uint64_t row[5]) {
  uint64_t carry = 0;
  acc[0] = add_carry(acc[0], row[0], carry);
  acc[1] = add_carry(acc[1], row[1], carry);
  acc[2] = add_carry(acc[2], row[2], carry);
  acc[3] = add_carry(acc[3], row[3], carry);
  acc[4] = row[4] + carry;
}

}  // namespace detail

// clang-format off
#if KYBER_ALG_SM2_CARRY_INTRINSICS
// One column step of product scanning: (hi:mid:lo) += a[i] * b[j].
#define KYBER_ALG_SM2_MULADD(i, j, lo, mid, hi) \
  "movq " #i "*8(%[a]), %%rax\n\t"            \
  "mulq " #j "*8(%[b])\n\t"                   \
  "addq %%rax, %%" lo "\n\t"                  \
  "adcq %%rdx, %%" mid "\n\t"                 \
  "adcq $0, %%" hi "\n\t"
#define KYBER_ALG_SM2_STORE(k, lo) "movq %%" lo ", " #k "*8(%[t])\n\t" "xorl %%" lo "d, %%" lo "d\n\t"
#endif
// clang-format on

// t[0..7] = a * b, the full 512-bit product (plain C++ version).
inline void mul_wide(uint64_t t[8], const uint64_t a[4], const uint64_t b[4]) {
  uint64_t row[5];
  detail::mul_row(t, a[0], b);
  for (int i = 1; i < 4; ++i) {
    detail::mul_row(row, a[i], b);
    detail::add_row(t + i, row);
  }
}

// clang-format off
#if KYBER_ALG_SM2_CARRY_INTRINSICS
// One Montgomery round in assembly on the window (w0..w3), as in
// detail::montgomery_round; the window comes out as (w1, w2, w3, w0).
// MOV keeps the borrow flag between the SBBs.
#define KYBER_ALG_SM2_ROUND(w0, w1, w2, w3)                                              \
  "movq %%" w0 ", %%rax\n\t" "shlq $32, %%rax\n\t"                                     \
  "movq %%" w0 ", %%rdx\n\t" "shrq $32, %%rdx\n\t"                                     \
  "movq %%" w0 ", %%r14\n\t" "subq %%rax, %%r14\n\t"                                   \
  "movq $0, %%r12\n\t" "sbbq %%rdx, %%r12\n\t"                                        \
  "movq $0, %%r13\n\t" "sbbq %%rax, %%r13\n\t"                                        \
  "sbbq %%rdx, %%" w0 "\n\t"                                                           \
  "addq %%r14, %%" w1 "\n\t" "adcq %%r12, %%" w2 "\n\t" "adcq %%r13, %%" w3 "\n\t" \
  "adcq $0, %%" w0 "\n\t"
#endif
// clang-format on

inline Fe fe_mul(const Fe& a, const Fe& b) {
  Fe r;
#if KYBER_ALG_SM2_CARRY_INTRINSICS
  // The product, the four rounds, the high half and the final subtraction
  // of p in one block: compiled C++ spends about a third more instructions.
  uint64_t t[8];
  const uint64_t* pa = a.v;
  const uint64_t* pb = b.v;
  __asm__ volatile(
      "xorl %%r8d, %%r8d\n\t"
      "xorl %%r9d, %%r9d\n\t"
      "xorl %%r10d, %%r10d\n\t"
      KYBER_ALG_SM2_MULADD(0, 0, "r8", "r9", "r10")
      KYBER_ALG_SM2_STORE(0, "r8")
      KYBER_ALG_SM2_MULADD(0, 1, "r9", "r10", "r8")
      KYBER_ALG_SM2_MULADD(1, 0, "r9", "r10", "r8")
      KYBER_ALG_SM2_STORE(1, "r9")
      KYBER_ALG_SM2_MULADD(0, 2, "r10", "r8", "r9")
      KYBER_ALG_SM2_MULADD(1, 1, "r10", "r8", "r9")
      KYBER_ALG_SM2_MULADD(2, 0, "r10", "r8", "r9")
      KYBER_ALG_SM2_STORE(2, "r10")
      KYBER_ALG_SM2_MULADD(0, 3, "r8", "r9", "r10")
      KYBER_ALG_SM2_MULADD(1, 2, "r8", "r9", "r10")
      KYBER_ALG_SM2_MULADD(2, 1, "r8", "r9", "r10")
      KYBER_ALG_SM2_MULADD(3, 0, "r8", "r9", "r10")
      KYBER_ALG_SM2_STORE(3, "r8")
      KYBER_ALG_SM2_MULADD(1, 3, "r9", "r10", "r8")
      KYBER_ALG_SM2_MULADD(2, 2, "r9", "r10", "r8")
      KYBER_ALG_SM2_MULADD(3, 1, "r9", "r10", "r8")
      KYBER_ALG_SM2_STORE(4, "r9")
      KYBER_ALG_SM2_MULADD(2, 3, "r10", "r8", "r9")
      KYBER_ALG_SM2_MULADD(3, 2, "r10", "r8", "r9")
      KYBER_ALG_SM2_STORE(5, "r10")
      KYBER_ALG_SM2_MULADD(3, 3, "r8", "r9", "r10")
      "movq %%r8, 6*8(%[t])\n\t"
      "movq %%r9, 7*8(%[t])\n\t"
      // Reduction: the low half through four rounds.
      "movq 0*8(%[t]), %%r8\n\t"
      "movq 1*8(%[t]), %%r9\n\t"
      "movq 2*8(%[t]), %%r10\n\t"
      "movq 3*8(%[t]), %%r11\n\t"
      KYBER_ALG_SM2_ROUND("r8", "r9", "r10", "r11")
      KYBER_ALG_SM2_ROUND("r9", "r10", "r11", "r8")
      KYBER_ALG_SM2_ROUND("r10", "r11", "r8", "r9")
      KYBER_ALG_SM2_ROUND("r11", "r8", "r9", "r10")
      // Plus the high half, into 257 bits (r12 the top bit).
      "xorl %%r12d, %%r12d\n\t"
      "addq 4*8(%[t]), %%r8\n\t"
      "adcq 5*8(%[t]), %%r9\n\t"
      "adcq 6*8(%[t]), %%r10\n\t"
      "adcq 7*8(%[t]), %%r11\n\t"
      "adcq $0, %%r12\n\t"
      // Below 2p: subtract p, keep the difference unless it borrowed.
      "movabsq $0xffffffff00000000, %%r15\n\t"
      "movabsq $0xfffffffeffffffff, %[a]\n\t"
      "movq %%r8, %%rax\n\t"
      "movq %%r9, %%rdx\n\t"
      "movq %%r10, %%r13\n\t"
      "movq %%r11, %%r14\n\t"
      "subq $-1, %%rax\n\t"
      "sbbq %%r15, %%rdx\n\t"
      "sbbq $-1, %%r13\n\t"
      "sbbq %[a], %%r14\n\t"
      "sbbq $0, %%r12\n\t"
      "cmovncq %%rax, %%r8\n\t"
      "cmovncq %%rdx, %%r9\n\t"
      "cmovncq %%r13, %%r10\n\t"
      "cmovncq %%r14, %%r11\n\t"
      "movq %%r8, 0*8(%[r])\n\t"
      "movq %%r9, 1*8(%[r])\n\t"
      "movq %%r10, 2*8(%[r])\n\t"
      "movq %%r11, 3*8(%[r])\n\t"
      : [a] "+r"(pa), [b] "+r"(pb)
      : [t] "r"(t), [r] "r"(r.v)
      : "rax", "rdx", "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15", "cc", "memory");
#else
  uint64_t t[8];
  mul_wide(t, a.v, b.v);
  detail::montgomery_reduce(r, t);
#endif
  return r;
}

#undef KYBER_ALG_SM2_MULADD
#undef KYBER_ALG_SM2_STORE
#undef KYBER_ALG_SM2_ROUND
#undef KYBER_ALG_SM2_LIMBS

inline Fe fe_sqr(const Fe& a) {
#if KYBER_ALG_SM2_CARRY_INTRINSICS
  // The assembly multiplication beats the compiled squaring below (which
  // saves multiplications but not instructions): measured, not assumed.
  return fe_mul(a, a);
#else
  // Cross products once, doubled, then the squares on the diagonal.
  uint64_t t[8] = {};
  for (int i = 0; i < 3; ++i) {
    uint64_t carry = 0;
    for (int j = i + 1; j < 4; ++j) {
      const u128 prod = static_cast<u128>(a.v[i]) * a.v[j] + t[i + j] + carry;
      t[i + j] = static_cast<uint64_t>(prod);
      carry = static_cast<uint64_t>(prod >> 64);
    }
    t[i + 4] = carry;
  }
  t[7] = t[6] >> 63;
  for (int k = 6; k > 0; --k) t[k] = (t[k] << 1) | (t[k - 1] >> 63);
  t[0] <<= 1;
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) {
    const u128 sq = static_cast<u128>(a.v[i]) * a.v[i];
    t[2 * i] = add_carry(t[2 * i], static_cast<uint64_t>(sq), carry);
    t[2 * i + 1] = add_carry(t[2 * i + 1], static_cast<uint64_t>(sq >> 64), carry);
  }
  Fe r;
  detail::montgomery_reduce(r, t);
  return r;
#endif
}

// All ones if a == 0 (a fully reduced), zero otherwise.
inline uint64_t fe_is_zero(const Fe& a) { return ct::mask64_zero(a.v[0] | a.v[1] | a.v[2] | a.v[3]); }

inline uint64_t fe_equal(const Fe& a, const Fe& b) {
  return ct::mask64_zero((a.v[0] ^ b.v[0]) | (a.v[1] ^ b.v[1]) | (a.v[2] ^ b.v[2]) | (a.v[3] ^ b.v[3]));
}

// r = mask ? a : r.
inline void fe_select(Fe& r, const Fe& a, uint64_t mask) { ct::select_words(r.v, a.v, 4, mask); }

inline Fe to_montgomery(const Fe& a) { return fe_mul(a, kRSquared); }

inline Fe from_montgomery(const Fe& a) {
  uint64_t t[8] = {a.v[0], a.v[1], a.v[2], a.v[3], 0, 0, 0, 0};
  Fe r;
  detail::montgomery_reduce(r, t);
  return r;
}

// The multiplication and squaring above as a field policy: the curve and
// scalar-multiplication templates take one, so that a faster code path can
// supply its own and have them inlined throughout its own instantiation.
struct PortableField {
  static Fe mul(const Fe& a, const Fe& b) { return fe_mul(a, b); }
  static Fe sqr(const Fe& a) { return fe_sqr(a); }
};

// Big-endian 32 bytes to a plain (not Montgomery) 256-bit number, unreduced.
inline Fe fe_from_bytes(const uint8_t in[32]) {
  Fe r;
  limbs_from_bytes(r.v, in);
  return r;
}

inline void fe_to_bytes(uint8_t out[32], const Fe& plain) { limbs_to_bytes(out, plain.v); }

// All ones if the plain number a is below p.
inline uint64_t fe_is_canonical(const Fe& a) { return limbs_less_than(a.v, kPrime.v); }

}  // namespace kyber_alg::sm2
