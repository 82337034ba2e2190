#include "backend.h"

namespace kyber_alg::kyber {

bool avx2_available() {
#if KYBER_ALG_HAVE_AVX2
    __builtin_cpu_init();  // may run before libgcc's own constructor
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

namespace detail {
bool use_avx2 = avx2_available();
}

bool set_backend(Backend b) {
    if (b == Backend::avx2 && !avx2_available()) return false;
    detail::use_avx2 = b == Backend::avx2;
    return true;
}

Backend active_backend() { return use_avx2() ? Backend::avx2 : Backend::portable; }

}  // namespace kyber_alg::kyber
