// Per-object lock for native objects whose methods drop the GIL while they
// work on large inputs (the scheme hashlib uses): two threads sharing one
// object never run its native code at the same time.
#pragma once

#include <Python.h>
#include <pythread.h>

#include <cstddef>

#include "common/gil.hpp"

namespace kyber_alg {

// Lives inside a Python object whose constructor sets the handle to null
// (PyObject_New does not zero memory): a null handle means no thread has ever
// needed the lock yet.
struct ObjectLock {
  PyThread_type_lock handle;

  // Called with the GIL held before the first GIL-free use; false with MemoryError set.
  bool ensure() {
    if (handle) return true;
    handle = PyThread_allocate_lock();
    if (!handle) PyErr_NoMemory();
    return handle != nullptr;
  }

  // With the GIL held. Waits (GIL released) while another thread holds the lock.
  void acquire() {
    if (!handle || PyThread_acquire_lock(handle, NOWAIT_LOCK)) return;
    without_gil([this] { PyThread_acquire_lock(handle, WAIT_LOCK); });
  }

  void release() {
    if (handle) PyThread_release_lock(handle);
  }

  void free() {
    if (handle) PyThread_free_lock(handle);
    handle = nullptr;
  }
};

// Runs work() on the object's native state: under the object's lock if it has
// one, and with the GIL released when the input is large. False with an
// exception set if the lock could not be created.
template <class Work>
bool run_locked(ObjectLock& lock, std::size_t input_size, Work&& work) {
  const bool large = input_size >= kReleaseGilMinSize;
  if (large && !lock.ensure()) return false;
  lock.acquire();
  without_gil_if(large, work);
  lock.release();
  return true;
}

}  // namespace kyber_alg
