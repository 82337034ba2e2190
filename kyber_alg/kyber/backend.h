// Run-time choice between the portable code and the AVX2 code. Both give
// identical results; AVX2 is used when the CPU has it.
#pragma once

#include "common/cpu.hpp"

// -DKYBER_ALG_NO_AVX2 builds the portable code only.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(KYBER_ALG_NO_AVX2)
#define KYBER_ALG_HAVE_AVX2 1
// Functions of the AVX2 code carry this attribute instead of building whole
// files with -mavx2: that way no inline or template function shared with
// the portable code is ever emitted with AVX2 instructions.
#define KYBER_ALG_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))
// The AVX-512VL variant of the four-way Keccak (still on 256-bit vectors).
#define KYBER_ALG_AVX512VL __attribute__((target("avx2,bmi,bmi2,popcnt,avx512f,avx512vl")))
#else
#define KYBER_ALG_HAVE_AVX2 0
#define KYBER_ALG_AVX2
#define KYBER_ALG_AVX512VL
#endif

namespace kyber_alg::kyber {

using kyber_alg::Backend;

// Backend (common/cpu.hpp): avx512 is the AVX2 code with the four-way Keccak
// using AVX-512VL rotations and ternary logic on the same 256-bit vectors.

// True if the code path is compiled in and this CPU supports it: AVX2 with
// BMI1/BMI2 and POPCNT, plus AVX-512F/VL for avx512.
bool backend_available(Backend b);

// The best available code path; chosen at load time.
Backend best_backend();

// Picks the code path (for tests, benchmarks and the constant-time check).
// Returns false, changing nothing, if it is not available.
bool set_backend(Backend b);

Backend active_backend();

namespace detail {
extern Backend active;
}

// True on the avx2 and avx512 paths.
inline bool use_avx2() {
#if KYBER_ALG_HAVE_AVX2
    return detail::active != Backend::portable;
#else
    return false;
#endif
}

inline bool use_avx512() {
#if KYBER_ALG_HAVE_AVX2
    return detail::active == Backend::avx512;
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
