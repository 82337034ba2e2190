// One shape for run-time selection of vector code, used by every component.
//
// A component lists its kernels in a struct of function pointers and defines
// one constant instance per code path: the portable one beside the portable
// code, the others in their *_avx2 / *_avx512 files (null where a path is not
// compiled). A Dispatch picks the best path the CPU runs when the library
// loads; tests and benchmarks may switch it. Every path gives identical results.
#pragma once

#include <atomic>
#include <initializer_list>

#include "common/cpu.hpp"

namespace kyber_alg {

template <class Kernels>
struct KernelSet {
  const Kernels* portable;
  const Kernels* avx2;           // null if not compiled
  const Kernels* avx512;         // null if not compiled
  const Kernels* adx = nullptr;  // null if not compiled or not offered
  // aarch64 paths (cpu.hpp); null if not compiled
  const Kernels* neon = nullptr;
  const Kernels* pmull = nullptr;
  const Kernels* sha3 = nullptr;
  const Kernels* smce = nullptr;
};

template <class Kernels>
class Dispatch {
 public:
  explicit Dispatch(KernelSet<Kernels> set) : set_(set) {
    for (Backend b : {Backend::avx512, Backend::avx2, Backend::adx, Backend::smce, Backend::sha3,
                      Backend::pmull, Backend::neon, Backend::portable})
      if (select(b)) break;
  }

  // A switch (select) may run in one thread while others call kernels without
  // the GIL: each call loads the table pointer once, and the acquire pairs
  // with the release in select, so it sees a whole table.
  const Kernels* operator->() const { return active_.load(std::memory_order_acquire); }
  const Kernels& active() const { return *active_.load(std::memory_order_acquire); }
  Backend backend() const { return backend_.load(std::memory_order_relaxed); }

  bool available(Backend b) const { return kernels_for(b) != nullptr && cpu_supports(b); }

  // Switches path; false, changing nothing, if this build or CPU lacks it.
  bool select(Backend b) {
    if (!available(b)) return false;
    backend_.store(b, std::memory_order_relaxed);
    active_.store(kernels_for(b), std::memory_order_release);
    return true;
  }

 private:
  const Kernels* kernels_for(Backend b) const {
    switch (b) {
      case Backend::avx2:
        return set_.avx2;
      case Backend::avx512:
        return set_.avx512;
      case Backend::adx:
        return set_.adx;
      case Backend::neon:
        return set_.neon;
      case Backend::pmull:
        return set_.pmull;
      case Backend::sha3:
        return set_.sha3;
      case Backend::smce:
        return set_.smce;
      case Backend::portable:
        break;
    }
    return set_.portable;
  }

  KernelSet<Kernels> set_;
  std::atomic<const Kernels*> active_{nullptr};
  std::atomic<Backend> backend_{Backend::portable};
};

}  // namespace kyber_alg
