// The definition of a native module (multi-phase initialisation, PEP 489),
// written once for every module of the package:
//
//   PyModuleDef module_def =
//       kyber_alg::module_definition<StateSlots, module_exec>("kyber_alg._sm4", module_doc, module_methods);
//   PyMODINIT_FUNC PyInit__sm4(void) { return PyModuleDef_Init(&module_def); }
//
// StateSlots is a ModuleStateSlots instance, or NoModuleState for a module
// without state; the exec function is nullptr for a module that adds nothing
// to its methods. add_type() makes the heap types in the exec function.
#pragma once

#include <Python.h>

#include <cstring>
#include <initializer_list>

#include "common/module_state.hpp"

namespace kyber_alg {

struct NoModuleState {
  static constexpr Py_ssize_t size = 0;
  static constexpr traverseproc traverse = nullptr;
  static constexpr inquiry clear = nullptr;
  static constexpr freefunc free = nullptr;
};

using ModuleExec = int (*)(PyObject*);

template <ModuleExec kExec>
struct ModuleSlots {
  static inline PyModuleDef_Slot slots[] = {
      {Py_mod_exec, reinterpret_cast<void*>(kExec)},
      {0, nullptr},
  };
};

template <>
struct ModuleSlots<nullptr> {
  static inline PyModuleDef_Slot slots[] = {
      {0, nullptr},
  };
};

// The result is to be stored in a variable that lives as long as the module
// (PyModuleDef_Init keeps a pointer to it).
template <class StateSlots, ModuleExec kExec>
PyModuleDef module_definition(const char* name, const char* doc, PyMethodDef* methods) {
  return {
      .m_base = PyModuleDef_HEAD_INIT,
      .m_name = name,
      .m_doc = doc,
      .m_size = StateSlots::size,
      .m_methods = methods,
      .m_slots = ModuleSlots<kExec>::slots,
      .m_traverse = StateSlots::traverse,
      .m_clear = StateSlots::clear,
      .m_free = StateSlots::free,
  };
}

// The part of a type's dotted name after the module's.
inline const char* short_name(const PyType_Spec& spec) { return std::strrchr(spec.name, '.') + 1; }

// Adds object to module under each of names. False with an exception set.
inline bool add_object(PyObject* module, PyObject* object, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (PyModule_AddObjectRef(module, name, object) < 0) return false;
  }
  return true;
}

// Creates the heap type of spec for module into `type` (a member of the
// module state, which owns the reference) and adds it to the module under
// each of names. False with an exception set.
inline bool add_type(PyObject* module, PyType_Spec& spec, PyObject*& type,
                     std::initializer_list<const char*> names) {
  type = PyType_FromModuleAndSpec(module, &spec, nullptr);
  return type && add_object(module, type, names);
}

// The same under the type's short name.
inline bool add_type(PyObject* module, PyType_Spec& spec, PyObject*& type) {
  return add_type(module, spec, type, {short_name(spec)});
}

}  // namespace kyber_alg
