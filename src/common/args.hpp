// Binding the arguments of a METH_FASTCALL | METH_KEYWORDS method or a
// vectorcall: positional ones first, then keywords, read in place with no
// argument tuple or dict built (for calls made once per message, where the
// call itself is most of the cost). Errors read as CPython's own. Then the
// readers of bytes-like arguments that every module shares.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/buffer.hpp"

namespace kyber_alg {

// Fills out[i] with the argument for names[i], null where it was not given.
// The first `required` parameters must be given. `function` names the call in
// messages, e.g. "set_key()". False with TypeError set for too many
// arguments, an unknown keyword, one given twice or a missing one.
template <std::size_t N>
bool bind_arguments(const char* function, const char* const (&names)[N], std::size_t required,
                    PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject* (&out)[N]) {
  if (nargs > static_cast<Py_ssize_t>(N)) {
    PyErr_Format(PyExc_TypeError, "%s takes at most %zu argument%s (%zd given)", function, N,
                 N == 1 ? "" : "s", nargs);
    return false;
  }
  for (std::size_t i = 0; i < N; ++i) out[i] = static_cast<Py_ssize_t>(i) < nargs ? args[i] : nullptr;
  const Py_ssize_t keywords = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    std::size_t slot = 0;
    while (slot < N && PyUnicode_CompareWithASCIIString(keyword, names[slot]) != 0) ++slot;
    if (slot == N) {
      PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", function, keyword);
      return false;
    }
    if (out[slot]) {
      PyErr_Format(PyExc_TypeError, "argument for %s given by name ('%s') and position (%zu)", function,
                   names[slot], slot + 1);
      return false;
    }
    out[slot] = args[nargs + k];
  }
  for (std::size_t i = 0; i < required; ++i) {
    if (!out[i]) {
      PyErr_Format(PyExc_TypeError, "%s missing required argument '%s' (pos %zu)", function, names[i], i + 1);
      return false;
    }
  }
  return true;
}

// The method of a PyMethodDef entry whose flags say how it is really called
// (METH_FASTCALL, METH_KEYWORDS): the one cast every module uses for it.
template <auto kFunction>
constexpr PyCFunction as_method() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(kFunction));
}

// In the helpers below, `function` names the call as the messages show it,
// e.g. "encrypt()", and `name` the argument. Each is false with an exception
// set when the argument does not pass, worded the same in every module.

// TypeError unless a METH_FASTCALL call without keywords got `expected` arguments.
inline bool check_positional(const char* function, Py_ssize_t nargs, Py_ssize_t expected) {
  if (nargs == expected) return true;
  PyErr_Format(PyExc_TypeError, "%s takes %zd positional argument%s (%zd given)", function, expected,
               expected == 1 ? "" : "s", nargs);
  return false;
}

// A bytes-like argument (str is not one: it is refused by name).
inline bool read_bytes(PyObject* obj, const char* function, const char* name, ByteView& view) {
  if (!PyObject_CheckBuffer(obj)) {
    PyErr_Format(PyExc_TypeError, "%s: %s must be a bytes-like object, not '%.100s'", function, name,
                 Py_TYPE(obj)->tp_name);
    return false;
  }
  return view.acquire(obj);
}

// The same where absent (null) or None means empty.
inline bool read_optional_bytes(PyObject* obj, const char* function, const char* name, ByteView& view) {
  if (!obj || obj == Py_None) return true;
  return read_bytes(obj, function, name, view);
}

// ValueError unless view holds exactly `size` bytes.
inline bool check_size(const ByteView& view, const char* function, const char* name, std::size_t size) {
  if (size_of(view) == size) return true;
  PyErr_Format(PyExc_ValueError, "%s: %s must be %zu bytes long, got %zd", function, name, size, view.size());
  return false;
}

// A bytes-like argument of exactly `size` bytes, held in view.
inline bool read_sized(PyObject* obj, const char* function, const char* name, std::size_t size,
                       ByteView& view) {
  return read_bytes(obj, function, name, view) && check_size(view, function, name, size);
}

// A bytes-like argument of exactly `size` bytes, copied into out: the one
// read of a fixed-size input (a key, nonce, digest or seed) that work
// without the GIL may then use as often as it needs.
inline bool read_fixed(PyObject* obj, const char* function, const char* name, uint8_t* out,
                       std::size_t size) {
  ByteView view;
  if (!read_sized(obj, function, name, size, view)) return false;
  std::memcpy(out, view.data(), size);
  return true;
}

}  // namespace kyber_alg
