// Owning handle for one strong reference to a Python object.
#pragma once

#include <Python.h>

#include <utility>

namespace kyber_alg {

class Ref {
 public:
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      drop(std::exchange(object_, std::exchange(other.object_, nullptr)));
    }
    return *this;
  }
  ~Ref() { drop(object_); }

  // Takes over a new reference (may be null: the failed result of an API call).
  static Ref steal(PyObject* object) { return Ref(object); }
  // Adds a reference of its own to a borrowed one.
  static Ref borrow(PyObject* object) {
    Py_XINCREF(object);
    return Ref(object);
  }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands the reference to the caller (for returning to the interpreter).
  PyObject* release() { return std::exchange(object_, nullptr); }
  void reset() { drop(std::exchange(object_, nullptr)); }

 private:
  explicit Ref(PyObject* object) : object_(object) {}
  // A thread that does not hold the GIL keeps its reference instead of
  // releasing it: at interpreter exit a daemon thread can be torn down in the
  // middle of a call, and one object left alive then is harmless where a
  // release without the GIL races the final collection.
  static void drop(PyObject* object) {
    if (object && PyGILState_Check()) Py_DECREF(object);
  }

  PyObject* object_ = nullptr;
};

}  // namespace kyber_alg
