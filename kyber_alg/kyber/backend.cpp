#include "backend.h"

#include <initializer_list>

namespace kyber_alg::kyber {

bool backend_available(Backend b) {
    if (b == Backend::portable) return true;
#if KYBER_ALG_HAVE_AVX2
    __builtin_cpu_init();  // may run before libgcc's own constructor
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                      __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    if (b == Backend::avx2) return avx2;
    return avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
#else
    return false;
#endif
}

Backend best_backend() {
    for (Backend b : {Backend::avx512, Backend::avx2})
        if (backend_available(b)) return b;
    return Backend::portable;
}

namespace detail {
Backend active = best_backend();
}

bool set_backend(Backend b) {
    if (!backend_available(b)) return false;
    detail::active = b;
    return true;
}

Backend active_backend() { return detail::active; }

}  // namespace kyber_alg::kyber
