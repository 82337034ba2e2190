// Read access to the bytes of any object that supports the buffer protocol.
#pragma once

#include <Python.h>

#include <cstdint>
#include <cstring>

namespace kyber_alg {

// Holds a buffer view for as long as the bytes are read. A strided view (for
// example memoryview(b)[::2]) is bytes-like too: it is copied into a
// contiguous block of its own, so callers always see one flat byte range.
class ByteView {
 public:
  ByteView() = default;
  ByteView(const ByteView&) = delete;
  ByteView& operator=(const ByteView&) = delete;
  ~ByteView() { release(); }

  // False with a Python exception set (TypeError for objects that are not
  // bytes-like, as PyObject_GetBuffer reports it).
  bool acquire(PyObject* obj) {
    release();
    if (PyObject_GetBuffer(obj, &view_, PyBUF_SIMPLE) == 0) {
      held_ = true;
      data_ = static_cast<const uint8_t*>(view_.buf);
      size_ = view_.len;
      return true;
    }
    if (!PyErr_ExceptionMatches(PyExc_BufferError)) return false;
    PyErr_Clear();
    if (PyObject_GetBuffer(obj, &view_, PyBUF_FULL_RO) < 0) return false;
    held_ = true;
    copy_ = static_cast<uint8_t*>(PyMem_Malloc(view_.len > 0 ? static_cast<size_t>(view_.len) : 1));
    if (!copy_) {
      PyErr_NoMemory();
      return false;
    }
    if (PyBuffer_ToContiguous(copy_, &view_, view_.len, 'C') < 0) return false;
    data_ = copy_;
    size_ = view_.len;
    return true;
  }

  const uint8_t* data() const { return data_; }
  Py_ssize_t size() const { return size_; }

 private:
  void release() {
    if (copy_) {
      // The copy may hold key material: clear it before it goes back to the allocator.
      volatile uint8_t* p = copy_;
      for (Py_ssize_t i = 0; i < size_; ++i) p[i] = 0;
      PyMem_Free(copy_);
      copy_ = nullptr;
    }
    if (held_) PyBuffer_Release(&view_);
    held_ = false;
    data_ = nullptr;
    size_ = 0;
  }

  // Read only while held_. Left uninitialised: zeroing it cost more than
  // taking the view of a short bytes object.
  Py_buffer view_;
  bool held_ = false;
  uint8_t* copy_ = nullptr;
  const uint8_t* data_ = nullptr;
  Py_ssize_t size_ = 0;
};

inline std::size_t size_of(const ByteView& view) { return static_cast<std::size_t>(view.size()); }

}  // namespace kyber_alg
