// Binding the arguments of a METH_FASTCALL | METH_KEYWORDS method or a
// vectorcall: positional ones first, then keywords, read in place with no
// argument tuple or dict built (for calls made once per message, where the
// call itself is most of the cost). Errors read as CPython's own. Then the
// checks of bytes-like arguments that several modules share.
#pragma once

#include <Python.h>

#include <cstddef>

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

// In the helpers below, `function` names the call as the messages show it,
// e.g. "encrypt()", and `name` the argument. Each is false with an exception
// set when the argument does not pass.

// A bytes-like argument. str is refused by name (a TypeError that says so),
// rather than with the buffer protocol's message.
inline bool read_bytes(PyObject* obj, const char* function, const char* name, ByteView& view) {
  if (PyUnicode_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "%s: %s must be a bytes-like object, not str", function, name);
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

}  // namespace kyber_alg
