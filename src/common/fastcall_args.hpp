// Binding the arguments of a METH_FASTCALL | METH_KEYWORDS call to named
// parameters, positional or by keyword, without building a tuple or a dict
// (argument parsing is most of the cost of a short call).
#pragma once

#include <Python.h>

namespace kyber_alg {

// names[0..count) are the parameters in order, the first `required` of them
// required. out[i] receives a borrowed reference to argument i, or null if an
// optional one was not given. False with TypeError set, worded as CPython's.
inline bool bind_arguments(const char* function, const char* const* names, int count, int required,
                           PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
  if (nargs > count) {
    PyErr_Format(PyExc_TypeError, "%s takes at most %d argument%s (%zd given)", function, count,
                 count == 1 ? "" : "s", nargs);
    return false;
  }
  for (int i = 0; i < count; ++i) out[i] = i < nargs ? args[i] : nullptr;
  const Py_ssize_t keywords = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    int slot = -1;
    for (int i = 0; i < count && slot < 0; ++i)
      if (PyUnicode_CompareWithASCIIString(keyword, names[i]) == 0) slot = i;
    if (slot < 0) {
      PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", function, keyword);
      return false;
    }
    if (out[slot]) {
      PyErr_Format(PyExc_TypeError, "argument for %s given by name ('%s') and position (%d)", function,
                   names[slot], slot + 1);
      return false;
    }
    out[slot] = args[nargs + k];
  }
  for (int i = 0; i < required; ++i) {
    if (!out[i]) {
      PyErr_Format(PyExc_TypeError, "%s missing required argument '%s' (pos %d)", function, names[i], i + 1);
      return false;
    }
  }
  return true;
}

}  // namespace kyber_alg
