// What every constant-time driver needs under valgrind memcheck (the ctgrind
// technique): marking secrets undefined and public results defined again,
// random inputs, the code path named on the command line, and the self-test
// that shows the harness does catch a secret-dependent branch.
//
// The drivers include this by a path relative to themselves, so they build
// with the same -I flags as the library sources.
#pragma once

#include <sys/random.h>
#include <valgrind/memcheck.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/cpu.hpp"

namespace ctgrind {

// Exit code of a driver asked for a code path the CPU (or valgrind's emulated
// CPU) does not offer.
inline constexpr int kPathUnavailable = 77;

inline void secret(const void* p, std::size_t len) { VALGRIND_MAKE_MEM_UNDEFINED(p, len); }
inline void make_public(const void* p, std::size_t len) { VALGRIND_MAKE_MEM_DEFINED(p, len); }

inline bool fill_random(uint8_t* p, std::size_t len) {
  return getrandom(p, len, 0) == static_cast<ssize_t>(len);
}

// "avx512", "avx2" or "adx"; anything else is the portable path.
inline kyber_alg::Backend parse_backend(const char* name) {
  if (std::strcmp(name, "avx512") == 0) return kyber_alg::Backend::avx512;
  if (std::strcmp(name, "avx2") == 0) return kyber_alg::Backend::avx2;
  if (std::strcmp(name, "adx") == 0) return kyber_alg::Backend::adx;
  return kyber_alg::Backend::portable;
}

inline int path_unavailable(const char* path) {
  std::printf("ctgrind driver: %s not available\n", path);
  return kPathUnavailable;
}

inline bool is_leak_self_test(int argc, char** argv) {
  return argc > 1 && std::strcmp(argv[1], "--leak-self-test") == 0;
}

// Branches on a secret on purpose: memcheck must report it.
inline int leak_self_test() {
  uint8_t s[1];
  if (!fill_random(s, 1)) return 2;
  secret(s, 1);
  volatile int sink = 0;
  if (s[0] & 1) sink = sink + 1;
  return 0;
}

// The code path a driver checks: argv[1], the portable one if none is named.
inline const char* path_argument(int argc, char** argv) { return argc > 1 ? argv[1] : "portable"; }

// What start() returns when main() should go on with its checks.
inline constexpr int kGoOn = -1;

// The start of every driver's main(): with --leak-self-test, the self-test's
// exit code; otherwise select(Backend) switches to the path named on the
// command line, and the result is kGoOn, or kPathUnavailable if it cannot.
template <class Select>
int start(int argc, char** argv, Select&& select) {
  if (is_leak_self_test(argc, argv)) return leak_self_test();
  const char* path = path_argument(argc, argv);
  if (!select(parse_backend(path))) return path_unavailable(path);
  return kGoOn;
}

}  // namespace ctgrind
