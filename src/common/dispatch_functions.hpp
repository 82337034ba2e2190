// The module functions _backend(), _available_backends() and _set_backend()
// for a component's Dispatch: they let tests and benchmarks run every code
// path. Instantiate with the component's accessor, e.g.
// DispatchFunctions<sm4::Kernels, sm4::kernels>::methods (the method table of
// a module that has no others), or its three entries in a table of its own.
#pragma once

#include <Python.h>

#include "common/dispatch.hpp"
#include "common/ref.hpp"

namespace kyber_alg {

template <class Kernels, Dispatch<Kernels>& (*kDispatch)()>
struct DispatchFunctions {
  static PyObject* backend(PyObject*, PyObject*) {
    return PyUnicode_FromString(backend_name(kDispatch().backend()));
  }

  static PyObject* available_backends(PyObject*, PyObject*) {
    Ref names = Ref::steal(PyList_New(0));
    if (!names) return nullptr;
    for (Backend b : kAllBackends) {
      if (!kDispatch().available(b)) continue;
      Ref name = Ref::steal(PyUnicode_FromString(backend_name(b)));
      if (!name || PyList_Append(names.get(), name.get()) < 0) return nullptr;
    }
    return PyList_AsTuple(names.get());
  }

  static PyObject* set_backend(PyObject*, PyObject* arg) {
    if (!PyUnicode_Check(arg)) {
      PyErr_Format(PyExc_TypeError, "_set_backend(): name must be str, not '%.100s'", Py_TYPE(arg)->tp_name);
      return nullptr;
    }
    for (Backend b : kAllBackends)
      if (PyUnicode_CompareWithASCIIString(arg, backend_name(b)) == 0 && kDispatch().select(b))
        Py_RETURN_NONE;
    PyErr_Format(PyExc_ValueError, "_set_backend(): code path %R is not available here", arg);
    return nullptr;
  }

  // Three entries for a module's method table.
  static constexpr PyMethodDef backend_method = {
      "_backend", backend, METH_NOARGS,
      "_backend($module, /)\n--\n\nThe code path in use (the best this CPU runs, unless switched)."};
  static constexpr PyMethodDef available_method = {
      "_available_backends", available_backends, METH_NOARGS,
      "_available_backends($module, /)\n--\n\nThe code paths this build can use on this CPU."};
  static constexpr PyMethodDef set_method = {"_set_backend", set_backend, METH_O,
                                             "_set_backend($module, name, /)\n--\n\nSwitch code path (for "
                                             "tests and benchmarks); results are identical."};
  static inline PyMethodDef methods[] = {
      backend_method, available_method, set_method, {nullptr, nullptr, 0, nullptr}};
};

}  // namespace kyber_alg
