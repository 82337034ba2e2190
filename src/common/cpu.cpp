#include "common/cpu.hpp"

#if KYBER_ALG_HAVE_ARM_VECTOR
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

#ifdef KYBER_ALG_CTGRIND
#include <valgrind/valgrind.h>
#endif

namespace kyber_alg {

const char* backend_name(Backend b) {
  switch (b) {
    case Backend::avx2:
      return "avx2";
    case Backend::avx512:
      return "avx512";
    case Backend::adx:
      return "adx";
    case Backend::neon:
      return "neon";
    case Backend::pmull:
      return "pmull";
    case Backend::sha3:
      return "sha3";
    case Backend::smce:
      return "smce";
    case Backend::portable:
      break;
  }
  return "portable";
}

namespace {

bool cpu_has_adx() {
#if KYBER_ALG_HAVE_X86_VECTOR
  __builtin_cpu_init();
  if (__builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("adx"))
    return true;
#ifdef KYBER_ALG_CTGRIND
  return RUNNING_ON_VALGRIND != 0;
#else
  return false;
#endif
#else
  return false;
#endif
}

bool arm_supports(Backend b) {
#if KYBER_ALG_HAVE_ARM_VECTOR
  const unsigned long hwcap = getauxval(AT_HWCAP);
  const bool neon = (hwcap & HWCAP_ASIMD) != 0;
  switch (b) {
    case Backend::neon:
      return neon;
    case Backend::pmull:
      return neon && (hwcap & HWCAP_PMULL) != 0;
    case Backend::sha3:
      return neon && (hwcap & HWCAP_SHA3) != 0;
    case Backend::smce:
      return neon && (hwcap & HWCAP_PMULL) != 0 && (hwcap & HWCAP_SM3) != 0 && (hwcap & HWCAP_SM4) != 0;
    default:
      return false;
  }
#else
  (void)b;
  return false;
#endif
}

}  // namespace

bool cpu_supports(Backend b) {
  if (b == Backend::portable) return true;
  if (b == Backend::adx) return cpu_has_adx();
  if (b == Backend::neon || b == Backend::pmull || b == Backend::sha3 || b == Backend::smce)
    return arm_supports(b);
#if KYBER_ALG_HAVE_X86_VECTOR
  __builtin_cpu_init();  // may run before libgcc's own constructor
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                    __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt") &&
                    __builtin_cpu_supports("aes") && __builtin_cpu_supports("pclmul");
  if (b == Backend::avx2) return avx2;
  return avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
         __builtin_cpu_supports("avx512bw");
#else
  return false;
#endif
}

}  // namespace kyber_alg
