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
};

extern const Kernels kPortableKernels;

// The path in use (portable.cpp).
extern Dispatch<Kernels> kernels;

}  // namespace kyber_alg::mldsa
