// Run-time choice between the portable code and the AVX2 code. Both give
// identical results; AVX2 is used when the CPU has it.
#pragma once

// -DKYBER_ALG_NO_AVX2 builds the portable code only.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(KYBER_ALG_NO_AVX2)
#define KYBER_ALG_HAVE_AVX2 1
// Functions of the AVX2 code carry this attribute instead of building whole
// files with -mavx2: that way no inline or template function shared with
// the portable code is ever emitted with AVX2 instructions.
#define KYBER_ALG_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))
#else
#define KYBER_ALG_HAVE_AVX2 0
#define KYBER_ALG_AVX2
#endif

namespace kyber_alg::kyber {

enum class Backend { portable, avx2 };

// True if the AVX2 code is compiled in and this CPU supports AVX2 (and
// BMI1/BMI2 and POPCNT, which that path also uses).
bool avx2_available();

// Picks the backend (for tests and the constant-time check). Returns false,
// changing nothing, if the AVX2 backend is asked for but not available.
bool set_backend(Backend b);

Backend active_backend();

namespace detail {
extern bool use_avx2;
}

inline bool use_avx2() {
#if KYBER_ALG_HAVE_AVX2
    return detail::use_avx2;
#else
    return false;
#endif
}

}  // namespace kyber_alg::kyber

// `KYBER_ALG_USE_AVX2(f(x));` at the top of a function returns f(x) when the
// AVX2 path is active; it compiles to nothing where AVX2 code is not built.
#if KYBER_ALG_HAVE_AVX2
#define KYBER_ALG_USE_AVX2(call) \
    if (::kyber_alg::kyber::use_avx2()) return call
#else
#define KYBER_ALG_USE_AVX2(call) static_cast<void>(0)
#endif
