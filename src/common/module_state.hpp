// The module-state slots of an extension module that keeps the heap type it
// creates in its exec slot in the module state (not in a static), so that
// every module object has its own and the garbage collector sees the
// reference. Instantiate with the state member that holds the type:
//
//   struct ModuleState { PyObject* hash_type; };
//   using StateSlots = kyber_alg::ModuleStateSlots<&ModuleState::hash_type>;
//
// and use StateSlots::state(module) in place of PyModule_GetState, and
// StateSlots::traverse / clear / free as m_traverse / m_clear / m_free.
#pragma once

#include <Python.h>

namespace kyber_alg {

template <class Member>
struct StateOfMember;

template <class State, class Type>
struct StateOfMember<Type * State::*> {
  using type = State;
};

template <auto kType>
struct ModuleStateSlots {
  using State = typename StateOfMember<decltype(kType)>::type;

  static State* state(PyObject* module) { return static_cast<State*>(PyModule_GetState(module)); }

  static int traverse(PyObject* module, visitproc visit, void* arg) {
    Py_VISIT(state(module)->*kType);
    return 0;
  }

  static int clear(PyObject* module) {
    Py_CLEAR(state(module)->*kType);
    return 0;
  }

  static void free(void* module) { clear(static_cast<PyObject*>(module)); }
};

}  // namespace kyber_alg
