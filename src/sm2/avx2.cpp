// SM2 on the avx2 path: the same scalar multiplications, with a field
// multiplication built on MULX (BMI2) and ADCX/ADOX (ADX). MULX leaves the
// flags alone and writes any two registers, and ADCX/ADOX keep two carry
// chains apart, so a row of products is added to the accumulator as it is
// produced, with the Montgomery reduction interleaved row by row. Measured
// here: about 1.5 times the speed of the baseline-instruction multiplication.
#include "sm2/kernels.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR
#include "sm2/base_mult.hpp"
#include "sm2/point_mult.hpp"

namespace kyber_alg::sm2 {
namespace {

// clang-format off
// acc (c0..c4) = a[0] * b, with c5 cleared for the reduction's carry.
#define KYBER_ALG_SM2_FIRST_ROW                  \
  "movq 0(%[a]), %%rdx\n\t"                      \
  "xorl %k[c5], %k[c5]\n\t"                      \
  "mulxq 0(%[b]), %[c0], %[c1]\n\t"              \
  "mulxq 8(%[b]), %[t0], %[c2]\n\t"              \
  "addq %[t0], %[c1]\n\t"                        \
  "mulxq 16(%[b]), %[t0], %[c3]\n\t"             \
  "adcq %[t0], %[c2]\n\t"                        \
  "mulxq 24(%[b]), %[t0], %[c4]\n\t"             \
  "adcq %[t0], %[c3]\n\t"                        \
  "adcq $0, %[c4]\n\t"

// acc (w0..w5) += a[i] * b: low halves of the products on the CF chain
// (ADCX), high halves on the OF chain (ADOX). The XOR clears w5 and both flags.
#define KYBER_ALG_SM2_ROW(i, w0, w1, w2, w3, w4, w5)                                                   \
  "xorl %k[" w5 "], %k[" w5 "]\n\t"                                                                    \
  "movq " #i "*8(%[a]), %%rdx\n\t"                                                                     \
  "mulxq 0(%[b]), %[t0], %[t1]\n\t" "adcxq %[t0], %[" w0 "]\n\t" "adoxq %[t1], %[" w1 "]\n\t"          \
  "mulxq 8(%[b]), %[t0], %[t1]\n\t" "adcxq %[t0], %[" w1 "]\n\t" "adoxq %[t1], %[" w2 "]\n\t"          \
  "mulxq 16(%[b]), %[t0], %[t1]\n\t" "adcxq %[t0], %[" w2 "]\n\t" "adoxq %[t1], %[" w3 "]\n\t"         \
  "mulxq 24(%[b]), %[t0], %[t1]\n\t" "adcxq %[t0], %[" w3 "]\n\t" "adoxq %[t1], %[" w4 "]\n\t"         \
  "movl $0, %k[t0]\n\t"                                                                                \
  "adcxq %[t0], %[" w4 "]\n\t" "adoxq %[t0], %[" w5 "]\n\t" "adcxq %[t0], %[" w5 "]\n\t"

// One Montgomery round on acc (w0..w5) with m = w0: (acc + m*p) / 2^64 into
// (w1..w5). Since p = -1 mod 2^64 the low limb cancels, and the rest is
// m*(2^192 + 1) added and m*(2^160 + 2^32) subtracted; one MULX by 2^32 gives
// m*2^32 as two limbs (two instructions fewer than shifting copies of m).
#define KYBER_ALG_SM2_REDUCE(w0, w1, w2, w3, w4, w5)                                               \
  "movq %[" w0 "], %%rdx\n\t" "mulxq %[two32], %[t0], %[t1]\n\t"                                    \
  "addq %[" w0 "], %[" w1 "]\n\t" "adcq $0, %[" w2 "]\n\t" "adcq $0, %[" w3 "]\n\t"                \
  "adcq %[" w0 "], %[" w4 "]\n\t" "adcq $0, %[" w5 "]\n\t"                                         \
  "subq %[t0], %[" w1 "]\n\t" "sbbq %[t1], %[" w2 "]\n\t" "sbbq %[t0], %[" w3 "]\n\t"              \
  "sbbq %[t1], %[" w4 "]\n\t" "sbbq $0, %[" w5 "]\n\t"

// The same round on a 256-bit window (w0..w3), whose result stays below
// 2^256: (w1, w2, w3, w0) afterwards.
#define KYBER_ALG_SM2_REDUCE4(w0, w1, w2, w3)                                                       \
  "movq %[" w0 "], %%rdx\n\t" "mulxq %[two32], %[x], %[y]\n\t"                                      \
  "addq %[" w0 "], %[" w1 "]\n\t" "adcq $0, %[" w2 "]\n\t" "adcq $0, %[" w3 "]\n\t"                 \
  "adcq $0, %[" w0 "]\n\t"                                                                          \
  "subq %[x], %[" w1 "]\n\t" "sbbq %[y], %[" w2 "]\n\t" "sbbq %[x], %[" w3 "]\n\t"                  \
  "sbbq %[y], %[" w0 "]\n\t"

// (r0..r3, top) < 2p: subtract p into (s0..s3) and keep the difference unless
// it borrowed. k0 and k1 receive the two limbs of p that are not -1.
#define KYBER_ALG_SM2_FINAL_SUBTRACT(r0, r1, r2, r3, top, s0, s1, s2, s3, k0, k1)                   \
  "movabsq $0xffffffff00000000, " k0 "\n\t"                                                         \
  "movabsq $0xfffffffeffffffff, " k1 "\n\t"                                                         \
  "movq " r0 ", " s0 "\n\t" "movq " r1 ", " s1 "\n\t" "movq " r2 ", " s2 "\n\t" "movq " r3 ", " s3 "\n\t" \
  "subq $-1, " s0 "\n\t" "sbbq " k0 ", " s1 "\n\t" "sbbq $-1, " s2 "\n\t" "sbbq " k1 ", " s3 "\n\t" \
  "sbbq $0, " top "\n\t"                                                                            \
  "cmovncq " s0 ", " r0 "\n\t" "cmovncq " s1 ", " r1 "\n\t" "cmovncq " s2 ", " r2 "\n\t"            \
  "cmovncq " s3 ", " r3 "\n\t"
// clang-format on

// The multiplier of the reduction rounds, read from memory by MULX.
constexpr uint64_t kTwo32 = uint64_t{1} << 32;

struct AdxField {
  // a * b / 2^256 mod p, operand scanning with the reduction interleaved: the
  // accumulator stays below 2p after every row, in six registers that rotate.
  static Fe mul(const Fe& a, const Fe& b) {
    uint64_t c0, c1, c2, c3, c4, c5, t0, t1;
    const uint64_t* pa = a.v;
    const uint64_t* pb = b.v;
    // clang-format off
    __asm__(KYBER_ALG_SM2_FIRST_ROW
            KYBER_ALG_SM2_REDUCE("c0", "c1", "c2", "c3", "c4", "c5")
            KYBER_ALG_SM2_ROW(1, "c1", "c2", "c3", "c4", "c5", "c0")
            KYBER_ALG_SM2_REDUCE("c1", "c2", "c3", "c4", "c5", "c0")
            KYBER_ALG_SM2_ROW(2, "c2", "c3", "c4", "c5", "c0", "c1")
            KYBER_ALG_SM2_REDUCE("c2", "c3", "c4", "c5", "c0", "c1")
            KYBER_ALG_SM2_ROW(3, "c3", "c4", "c5", "c0", "c1", "c2")
            KYBER_ALG_SM2_REDUCE("c3", "c4", "c5", "c0", "c1", "c2")
            KYBER_ALG_SM2_FINAL_SUBTRACT("%[c4]", "%[c5]", "%[c0]", "%[c1]", "%[c2]", "%[t0]", "%[t1]",
                                         "%%rdx", "%[c3]", "%[a]", "%[b]")
            : [c0] "=&r"(c0), [c1] "=&r"(c1), [c2] "=&r"(c2), [c3] "=&r"(c3), [c4] "=&r"(c4), [c5] "=&r"(c5),
              [t0] "=&r"(t0), [t1] "=&r"(t1), [a] "+&r"(pa), [b] "+&r"(pb)
            : "m"(*reinterpret_cast<const uint64_t(*)[4]>(a.v)), "m"(*reinterpret_cast<const uint64_t(*)[4]>(b.v)),
              [two32] "m"(kTwo32)
            : "rdx", "cc");
    // clang-format on
    return Fe{{c4, c5, c0, c1}};
  }

  // a^2 / 2^256 mod p: the six cross products once, doubled, plus the four
  // squares (ten MULX instead of sixteen), then four rounds on the low half
  // and the high half added.
  static Fe sqr(const Fe& a) {
    uint64_t t0, t1, t2, t3, t4, t5, t6, t7, x, y;
    __asm__(
        // Cross products a[i]*a[j], i < j, into t1..t6.
        "movq 0(%[a]), %%rdx\n\t"
        "mulxq 8(%[a]), %[t1], %[t2]\n\t"
        "mulxq 16(%[a]), %[x], %[t3]\n\t"
        "addq %[x], %[t2]\n\t"
        "mulxq 24(%[a]), %[x], %[t4]\n\t"
        "adcq %[x], %[t3]\n\t"
        "movq 8(%[a]), %%rdx\n\t"
        "mulxq 24(%[a]), %[x], %[t5]\n\t"
        "adcq %[x], %[t4]\n\t"
        "adcq $0, %[t5]\n\t"
        "mulxq 16(%[a]), %[x], %[y]\n\t"
        "addq %[x], %[t3]\n\t"
        "adcq %[y], %[t4]\n\t"
        "movq 16(%[a]), %%rdx\n\t"
        "mulxq 24(%[a]), %[x], %[t6]\n\t"
        "adcq %[x], %[t5]\n\t"
        "adcq $0, %[t6]\n\t"
        // Doubled (t7 takes the bit shifted out), plus the squares.
        "xorl %k[t7], %k[t7]\n\t"
        "addq %[t1], %[t1]\n\t"
        "adcq %[t2], %[t2]\n\t"
        "adcq %[t3], %[t3]\n\t"
        "adcq %[t4], %[t4]\n\t"
        "adcq %[t5], %[t5]\n\t"
        "adcq %[t6], %[t6]\n\t"
        "adcq %[t7], %[t7]\n\t"
        "movq 0(%[a]), %%rdx\n\t"
        "mulxq %%rdx, %[t0], %[x]\n\t"
        "addq %[x], %[t1]\n\t"
        "movq 8(%[a]), %%rdx\n\t"
        "mulxq %%rdx, %[x], %[y]\n\t"
        "adcq %[x], %[t2]\n\t"
        "adcq %[y], %[t3]\n\t"
        "movq 16(%[a]), %%rdx\n\t"
        "mulxq %%rdx, %[x], %[y]\n\t"
        "adcq %[x], %[t4]\n\t"
        "adcq %[y], %[t5]\n\t"
        "movq 24(%[a]), %%rdx\n\t"
        "mulxq %%rdx, %[x], %[y]\n\t"
        "adcq %[x], %[t6]\n\t"
        "adcq %[y], %[t7]\n\t"
        // Four rounds bring the window back to (t0..t3); then the high half.
        KYBER_ALG_SM2_REDUCE4("t0", "t1", "t2", "t3")  //
        KYBER_ALG_SM2_REDUCE4("t1", "t2", "t3", "t0")  //
        KYBER_ALG_SM2_REDUCE4("t2", "t3", "t0", "t1")  //
        KYBER_ALG_SM2_REDUCE4("t3", "t0", "t1", "t2")  //
        "xorl %%edx, %%edx\n\t"
        "addq %[t0], %[t4]\n\t"
        "adcq %[t1], %[t5]\n\t"
        "adcq %[t2], %[t6]\n\t"
        "adcq %[t3], %[t7]\n\t"
        "adcq $0, %%rdx\n\t"  //
        KYBER_ALG_SM2_FINAL_SUBTRACT("%[t4]", "%[t5]", "%[t6]", "%[t7]", "%%rdx", "%[t0]", "%[t1]", "%[t2]",
                                     "%[t3]", "%[x]", "%[y]")
        : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3), [t4] "=&r"(t4), [t5] "=&r"(t5),
          [t6] "=&r"(t6), [t7] "=&r"(t7), [x] "=&r"(x), [y] "=&r"(y)
        : [a] "r"(a.v), "m"(*reinterpret_cast<const uint64_t (*)[4]>(a.v)), [two32] "m"(kTwo32)
        : "rdx", "cc");
    return Fe{{t4, t5, t6, t7}};
  }
};

#undef KYBER_ALG_SM2_FIRST_ROW
#undef KYBER_ALG_SM2_ROW
#undef KYBER_ALG_SM2_REDUCE
#undef KYBER_ALG_SM2_REDUCE4
#undef KYBER_ALG_SM2_FINAL_SUBTRACT

KYBER_ALG_TARGET_AVX2 JacobianPoint mul_point_avx2(const Scalar& k, const AffinePoint& p) {
  return mul_point_with<AdxField>(k, p);
}

KYBER_ALG_TARGET_AVX2 JacobianPoint mul_base_avx2(const Scalar& k) { return mul_base_with<AdxField>(k); }

KYBER_ALG_TARGET_AVX2 AffinePoint to_affine_avx2(const JacobianPoint& p) {
  return Curve<AdxField>::to_affine(p);
}

const Kernels kAvx2 = {mul_point_avx2, mul_base_avx2, to_affine_avx2};

}  // namespace

const Kernels* const kAvx2Kernels = &kAvx2;

}  // namespace kyber_alg::sm2

#else

namespace kyber_alg::sm2 {
const Kernels* const kAvx2Kernels = nullptr;
}  // namespace kyber_alg::sm2

#endif
