// Binding the arguments of a METH_FASTCALL | METH_KEYWORDS method or a
// vectorcall: positional ones first, then keywords, read in place with no
// argument tuple or dict built (for calls made once per message, where the
// call itself is most of the cost). Errors read as CPython's own.
#pragma once

#include <Python.h>

#include <cstddef>

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

}  // namespace kyber_alg
