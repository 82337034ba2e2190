// The ML-DSA functions that have vector versions, gathered in one table of
// function pointers per code path. Callers go through `kernels`, which holds
// the best path this CPU runs (tests may switch it); every path gives
// bit-for-bit the same results.
#pragma once

#include "common/cpu.hpp"
#include "common/dispatch.hpp"
#include "mldsa/params.hpp"

namespace kyber_alg::mldsa {

struct Kernels {
  // ntt.hpp states the ranges each accepts and returns.
  void (*ntt)(Poly& f);
  void (*ntt_inverse)(Poly& f);
  void (*pointwise_montgomery)(Poly& out, const Poly& a, const Poly& b);
  void (*pointwise_accumulate)(Poly& out, const Poly& a, const Poly& b);
  // Whether sampling steps four SHAKE sponges together (ML-KEM's four-way
  // Keccak-f[1600], where ML-KEM's own path has it); the output is the same.
  bool four_way_keccak;
};

// One constant table per code path: portable.cpp and avx2.cpp (the vector
// one only in a build with x86 vector code).
extern const Kernels kPortableKernels;
#if KYBER_ALG_HAVE_X86_VECTOR
extern const Kernels kAvx2Kernels;
#endif

// The path in use (portable.cpp).
extern Dispatch<Kernels> kernels;

}  // namespace kyber_alg::mldsa
