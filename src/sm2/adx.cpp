// SM2 on the adx path: the same scalar multiplications, with a field
// multiplication built on MULX (BMI2) and ADCX/ADOX (ADX). MULX leaves the
// flags alone and writes any two registers, and ADCX/ADOX keep two carry
// chains apart, so each row of partial products is added to the accumulator
// as it is produced. The whole 512-bit product comes first and the Montgomery
// reduction after it: interleaving the two made one long chain of flag
// updates, and this order measured a sixth shorter in latency and a fifth
// higher in throughput here. The table reads come from table.hpp's dispatch
// (AVX2 where the CPU has it).
#include "sm2/kernels.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR
#include "sm2/base_mult.hpp"
#include "sm2/double_mult_vartime.hpp"
#include "sm2/point_mult.hpp"
#include "sm2/table.hpp"

namespace kyber_alg::sm2 {
namespace {

// clang-format off
// (t0..t4) += a[i] * b with t4 zero on entry: low halves of the products on
// the CF chain (ADCX), high halves on the OF chain (ADOX); the XOR clears t4
// and both flags.
#define KYBER_ALG_SM2_ROW(i, t0, t1, t2, t3, t4)                                                    \
  "xorl %k[" t4 "], %k[" t4 "]\n\t"                                                                  \
  "movq %[a" #i "], %%rdx\n\t"                                                                       \
  "mulxq %[b0], %[x], %[y]\n\t" "adcxq %[x], %[" t0 "]\n\t" "adoxq %[y], %[" t1 "]\n\t"              \
  "mulxq %[b1], %[x], %[y]\n\t" "adcxq %[x], %[" t1 "]\n\t" "adoxq %[y], %[" t2 "]\n\t"              \
  "mulxq %[b2], %[x], %[y]\n\t" "adcxq %[x], %[" t2 "]\n\t" "adoxq %[y], %[" t3 "]\n\t"              \
  "mulxq %[b3], %[x], %[y]\n\t" "adcxq %[x], %[" t3 "]\n\t" "adoxq %[y], %[" t4 "]\n\t"              \
  "adcq $0, %[" t4 "]\n\t"

// One Montgomery round on the window (w0..w3), whose result stays below
// 2^256: (w1, w2, w3, w0) afterwards. With m = w0 (p = -1 mod 2^64) the low
// limb cancels, and what remains is m*(2^192 + 1) added and m*(2^160 + 2^32)
// subtracted; the shifts split m*2^32 into two limbs in one cycle each
// (MULX by 2^32 does it in one instruction, but its latency sat on the path
// from round to round).
#define KYBER_ALG_SM2_REDUCE(w0, w1, w2, w3)                                                        \
  "shlxq %[c32], %[" w0 "], %[x]\n\t" "shrxq %[c32], %[" w0 "], %[y]\n\t"                            \
  "addq %[" w0 "], %[" w1 "]\n\t" "adcq $0, %[" w2 "]\n\t" "adcq $0, %[" w3 "]\n\t"                  \
  "adcq $0, %[" w0 "]\n\t"                                                                           \
  "subq %[x], %[" w1 "]\n\t" "sbbq %[y], %[" w2 "]\n\t" "sbbq %[x], %[" w3 "]\n\t"                   \
  "sbbq %[y], %[" w0 "]\n\t"

// The four rounds on the low half (t0..t3), the high half (t4..t7) added in
// 257 bits, and p subtracted unless that borrows: the result in t4..t7.
#define KYBER_ALG_SM2_REDUCE_ALL                                                                    \
  KYBER_ALG_SM2_REDUCE("t0", "t1", "t2", "t3")                                                      \
  KYBER_ALG_SM2_REDUCE("t1", "t2", "t3", "t0")                                                      \
  KYBER_ALG_SM2_REDUCE("t2", "t3", "t0", "t1")                                                      \
  KYBER_ALG_SM2_REDUCE("t3", "t0", "t1", "t2")                                                      \
  "xorl %%edx, %%edx\n\t"                                                                            \
  "addq %[t0], %[t4]\n\t" "adcq %[t1], %[t5]\n\t" "adcq %[t2], %[t6]\n\t" "adcq %[t3], %[t7]\n\t"    \
  "adcq $0, %%rdx\n\t"                                                                               \
  "movabsq $0xffffffff00000000, %[x]\n\t" "movabsq $0xfffffffeffffffff, %[y]\n\t"                    \
  "movq %[t4], %[t0]\n\t" "movq %[t5], %[t1]\n\t" "movq %[t6], %[t2]\n\t" "movq %[t7], %[t3]\n\t"    \
  "subq $-1, %[t0]\n\t" "sbbq %[x], %[t1]\n\t" "sbbq $-1, %[t2]\n\t" "sbbq %[y], %[t3]\n\t"          \
  "sbbq $0, %%rdx\n\t"                                                                               \
  "cmovncq %[t0], %[t4]\n\t" "cmovncq %[t1], %[t5]\n\t" "cmovncq %[t2], %[t6]\n\t"                   \
  "cmovncq %[t3], %[t7]\n\t"
// clang-format on

// The limbs are asm memory operands, so the compiler keeps the surrounding
// values where it likes and needs no pointer registers for them.
#define KYBER_ALG_SM2_LIMB_OPERANDS(name, fe) \
  [name##0] "m"((fe).v[0]), [name##1] "m"((fe).v[1]), [name##2] "m"((fe).v[2]), [name##3] "m"((fe).v[3])

struct AdxField {
  // a * b / 2^256 mod p: the product row by row, then the reduction.
  static Fe mul(const Fe& a, const Fe& b) {
    uint64_t t0, t1, t2, t3, t4, t5, t6, t7, x, y;
    const uint64_t c32 = 32;
    // clang-format off
    __asm__("movq %[a0], %%rdx\n\t"
            "mulxq %[b0], %[t0], %[t1]\n\t"
            "mulxq %[b1], %[x], %[t2]\n\t" "addq %[x], %[t1]\n\t"
            "mulxq %[b2], %[x], %[t3]\n\t" "adcq %[x], %[t2]\n\t"
            "mulxq %[b3], %[x], %[t4]\n\t" "adcq %[x], %[t3]\n\t"
            "adcq $0, %[t4]\n\t"
            KYBER_ALG_SM2_ROW(1, "t1", "t2", "t3", "t4", "t5")
            KYBER_ALG_SM2_ROW(2, "t2", "t3", "t4", "t5", "t6")
            KYBER_ALG_SM2_ROW(3, "t3", "t4", "t5", "t6", "t7")
            KYBER_ALG_SM2_REDUCE_ALL
            : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3), [t4] "=&r"(t4), [t5] "=&r"(t5),
              [t6] "=&r"(t6), [t7] "=&r"(t7), [x] "=&r"(x), [y] "=&r"(y)
            : KYBER_ALG_SM2_LIMB_OPERANDS(a, a), KYBER_ALG_SM2_LIMB_OPERANDS(b, b), [c32] "r"(c32)
            : "rdx", "cc");
    // clang-format on
    return Fe{{t4, t5, t6, t7}};
  }

  // a^2 / 2^256 mod p: the six cross products once, doubled, plus the four
  // squares (ten MULX instead of sixteen), then the same reduction.
  static Fe sqr(const Fe& a) {
    uint64_t t0, t1, t2, t3, t4, t5, t6, t7, x, y;
    const uint64_t c32 = 32;
    // clang-format off
    __asm__(// Cross products a[i]*a[j], i < j, into t1..t6.
            "movq %[a0], %%rdx\n\t"
            "mulxq %[a1], %[t1], %[t2]\n\t"
            "mulxq %[a2], %[x], %[t3]\n\t" "addq %[x], %[t2]\n\t"
            "mulxq %[a3], %[x], %[t4]\n\t" "adcq %[x], %[t3]\n\t"
            "movq %[a1], %%rdx\n\t"
            "mulxq %[a3], %[x], %[t5]\n\t" "adcq %[x], %[t4]\n\t"
            "adcq $0, %[t5]\n\t"
            "mulxq %[a2], %[x], %[y]\n\t" "addq %[x], %[t3]\n\t" "adcq %[y], %[t4]\n\t"
            "movq %[a2], %%rdx\n\t"
            "mulxq %[a3], %[x], %[t6]\n\t" "adcq %[x], %[t5]\n\t"
            "adcq $0, %[t6]\n\t"
            // Doubled (t7 takes the bit shifted out), plus the squares.
            "xorl %k[t7], %k[t7]\n\t"
            "addq %[t1], %[t1]\n\t" "adcq %[t2], %[t2]\n\t" "adcq %[t3], %[t3]\n\t" "adcq %[t4], %[t4]\n\t"
            "adcq %[t5], %[t5]\n\t" "adcq %[t6], %[t6]\n\t" "adcq %[t7], %[t7]\n\t"
            "movq %[a0], %%rdx\n\t"
            "mulxq %%rdx, %[t0], %[x]\n\t" "addq %[x], %[t1]\n\t"
            "movq %[a1], %%rdx\n\t"
            "mulxq %%rdx, %[x], %[y]\n\t" "adcq %[x], %[t2]\n\t" "adcq %[y], %[t3]\n\t"
            "movq %[a2], %%rdx\n\t"
            "mulxq %%rdx, %[x], %[y]\n\t" "adcq %[x], %[t4]\n\t" "adcq %[y], %[t5]\n\t"
            "movq %[a3], %%rdx\n\t"
            "mulxq %%rdx, %[x], %[y]\n\t" "adcq %[x], %[t6]\n\t" "adcq %[y], %[t7]\n\t"
            KYBER_ALG_SM2_REDUCE_ALL
            : [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3), [t4] "=&r"(t4), [t5] "=&r"(t5),
              [t6] "=&r"(t6), [t7] "=&r"(t7), [x] "=&r"(x), [y] "=&r"(y)
            : KYBER_ALG_SM2_LIMB_OPERANDS(a, a), [c32] "r"(c32)
            : "rdx", "cc");
    // clang-format on
    return Fe{{t4, t5, t6, t7}};
  }
};

#undef KYBER_ALG_SM2_ROW
#undef KYBER_ALG_SM2_REDUCE
#undef KYBER_ALG_SM2_REDUCE_ALL
#undef KYBER_ALG_SM2_LIMB_OPERANDS

// The MULX/ADX multiplication and the best table read the CPU has.
struct AdxPath : AdxField {
  static void read(AffinePoint& out, const AffinePoint* table, int count, uint64_t index) {
    table_kernels()->read(out, table, count, index);
  }
};

KYBER_ALG_TARGET_ADX JacobianPoint mul_point_adx(const Scalar& k, const AffinePoint& p) {
  return mul_point_with<AdxPath>(k, p);
}

KYBER_ALG_TARGET_ADX JacobianPoint mul_base_adx(const Scalar& k) { return mul_base_with<AdxPath>(k); }

KYBER_ALG_TARGET_ADX JacobianPoint double_mult_vartime_adx(const Scalar& u1, const Scalar& u2,
                                                           const AffinePoint& p) {
  return double_mult_vartime_with<AdxPath>(u1, u2, p);
}

KYBER_ALG_TARGET_ADX AffinePoint to_affine_adx(const JacobianPoint& p) {
  return Curve<AdxPath>::to_affine(p);
}

const Kernels kAdx = {mul_point_adx, mul_base_adx, double_mult_vartime_adx, to_affine_adx};

}  // namespace

const Kernels* const kAdxKernels = &kAdx;

}  // namespace kyber_alg::sm2

#else

namespace kyber_alg::sm2 {
const Kernels* const kAdxKernels = nullptr;
}  // namespace kyber_alg::sm2

#endif
