// Calls into outside objects: positional arguments only, vector calling.
#pragma once

#include <Python.h>

#include <initializer_list>

#include "../ref.hpp"
#include "lookup.hpp"
#include "names.hpp"

namespace velmora {

// callable(*args); args are borrowed and must all be non-null.
inline Ref call(PyObject* callable, std::initializer_list<PyObject*> args = {}) {
  return Ref::steal(PyObject_Vectorcall(callable, const_cast<PyObject* const*>(args.begin()), args.size(), nullptr));
}

// object.attribute
inline Ref attr(PyObject* object, Name attribute) {
  return Ref::steal(PyObject_GetAttr(object, name(attribute)));
}

// object.attribute(*args): the attribute is read first, then called, as a
// Python expression does it.
inline Ref call_attr(PyObject* object, Name attribute, std::initializer_list<PyObject*> args = {}) {
  Ref method = attr(object, attribute);
  if (!method) return {};
  return call(method.get(), args);
}

// <module global>.<attribute>, both looked up now.
inline Ref global_attr(Name module_global, Name attribute) {
  Ref owner = global(module_global);
  if (!owner) return {};
  return attr(owner.get(), attribute);
}

}  // namespace velmora
