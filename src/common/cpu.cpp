#include "common/cpu.hpp"

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

}  // namespace

bool cpu_supports(Backend b) {
  if (b == Backend::portable) return true;
  if (b == Backend::adx) return cpu_has_adx();
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
