// Code paths a component can be built with, and whether this CPU runs them.
#pragma once

// -DKYBER_ALG_NO_VECTOR builds the portable code only.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(KYBER_ALG_NO_VECTOR)
#define KYBER_ALG_HAVE_X86_VECTOR 1
// Vector functions carry a target attribute instead of whole files being built
// with -mavx2: no inline or template function shared with the portable code is
// ever emitted with vector instructions that an older CPU lacks.
#define KYBER_ALG_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt,aes,pclmul")))
#define KYBER_ALG_TARGET_AVX512 \
  __attribute__((target("avx2,bmi,bmi2,popcnt,aes,pclmul,avx512f,avx512vl,avx512bw")))
// Scalar code that multiplies with MULX (BMI2) and adds on two carry chains
// with ADCX/ADOX (ADX); no vector instructions.
#define KYBER_ALG_TARGET_ADX __attribute__((target("bmi,bmi2,adx")))
#else
#define KYBER_ALG_HAVE_X86_VECTOR 0
#define KYBER_ALG_TARGET_AVX2
#define KYBER_ALG_TARGET_AVX512
#define KYBER_ALG_TARGET_ADX
#endif

// aarch64: Advanced SIMD is part of the base architecture for every CPU the
// package targets, but it is still read from the hardware capabilities, as are
// the optional crypto extensions. Functions that use an extension carry a target
// attribute, as on x86-64.
#if defined(__aarch64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(KYBER_ALG_NO_VECTOR)
#define KYBER_ALG_HAVE_ARM_VECTOR 1
#define KYBER_ALG_TARGET_PMULL __attribute__((target("+crypto")))
#define KYBER_ALG_TARGET_SHA3 __attribute__((target("arch=armv8.2-a+sha3")))
#define KYBER_ALG_TARGET_SMCE __attribute__((target("arch=armv8.2-a+crypto+sm4")))
#else
#define KYBER_ALG_HAVE_ARM_VECTOR 0
#endif

namespace kyber_alg {

// avx2: AVX2 with BMI1/BMI2, POPCNT, AES-NI and PCLMULQDQ. avx512: all of that plus
// AVX-512F/VL/BW. adx: BMI1/BMI2 and ADX, for scalar multi-word arithmetic (SM2's
// field); many AVX2 CPUs lack ADX, and it needs no vector unit.
//
// aarch64 (from getauxval(AT_HWCAP)): neon is Advanced SIMD; pmull adds the
// 64-bit polynomial multiply (GHASH); sha3 adds EOR3, RAX1, XAR and BCAX
// (Keccak); smce is Advanced SIMD with PMULL and the SM3 and SM4 instructions.
enum class Backend { portable, avx2, avx512, adx, neon, pmull, sha3, smce };

// From the plainest path to the best, the order _available_backends() lists.
inline constexpr Backend kAllBackends[] = {Backend::portable, Backend::adx,   Backend::avx2, Backend::avx512,
                                           Backend::neon,     Backend::pmull, Backend::sha3, Backend::smce};

const char* backend_name(Backend b);

// True if the path is compiled in and this CPU has every feature it uses. For
// adx, KYBER_ALG_CTGRIND builds running under valgrind say yes as well:
// valgrind runs ADCX/ADOX but hides their CPUID bit, and the constant-time
// check must cover that path.
bool cpu_supports(Backend b);

}  // namespace kyber_alg
