// Calls into outside objects: positional arguments only, vector calling.
#pragma once

#include <Python.h>

#include <initializer_list>

#include "common/ref.hpp"
#include "velmora/outside/lookup.hpp"
#include "velmora/outside/names.hpp"

namespace kyber_alg::velmora {

// callable(*args); args are borrowed and must all be non-null.
inline Ref call(PyObject* callable, std::initializer_list<PyObject*> args = {}) {
  return Ref::steal(
      PyObject_Vectorcall(callable, const_cast<PyObject* const*>(args.begin()), args.size(), nullptr));
}

// object.attribute
inline Ref attr(PyObject* object, Name attribute) {
  return Ref::steal(PyObject_GetAttr(object, name(attribute)));
}

// object.attribute(*args), without making a bound method. Callers evaluate
// the arguments first; where an argument can fail, they read the attribute
// themselves beforehand, as a Python expression would.
inline Ref call_attr(PyObject* object, Name attribute, std::initializer_list<PyObject*> args = {}) {
  constexpr size_t kMaxArguments = 4;
  // stack[0] is spare room that the callee may use (PY_VECTORCALL_ARGUMENTS_OFFSET).
  if (args.size() > kMaxArguments) {
    PyErr_SetString(PyExc_SystemError, "call_attr: too many arguments");
    return {};
  }
  PyObject* stack[2 + kMaxArguments] = {nullptr, object};
  size_t count = 1;
  for (PyObject* argument : args) stack[1 + count++] = argument;
  return Ref::steal(
      PyObject_VectorcallMethod(name(attribute), stack + 1, count | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

// <module global>.<attribute>, both looked up now.
inline Ref global_attr(Namespace& names, Name module_global, Name attribute) {
  Ref owner = names.global(module_global);
  if (!owner) return {};
  return attr(owner.get(), attribute);
}

}  // namespace kyber_alg::velmora
