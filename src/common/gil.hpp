// The one way native code runs work without the GIL. The work must touch no
// Python object, and must read every caller buffer it was given at most once:
// another thread may change a bytearray while the GIL is free.
#pragma once

#include <Python.h>

#include <cstddef>

namespace kyber_alg {

// Inputs at least this long are worth releasing the GIL for.
inline constexpr std::size_t kReleaseGilMinSize = 2048;

template <class Work>
void without_gil(Work&& work) {
  Py_BEGIN_ALLOW_THREADS work();
  Py_END_ALLOW_THREADS
}

// Releases the GIL only when the call is long enough to gain from it.
template <class Work>
void without_gil_if(bool release, Work&& work) {
  if (release) {
    without_gil(work);
  } else {
    work();
  }
}

}  // namespace kyber_alg
