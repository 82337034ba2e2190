// The module-state slots of an extension module that keeps the heap type it
// creates in its exec slot in the module state (not in a static), so that
// every module object has its own and the garbage collector sees the
// reference. Instantiate with the state members that hold the types (one or
// more, all of the same pointer type):
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

template <auto kType, decltype(kType)... kMoreTypes>
struct ModuleStateSlots {
  using State = typename StateOfMember<decltype(kType)>::type;

  static State* state(PyObject* module) { return static_cast<State*>(PyModule_GetState(module)); }

  static int traverse(PyObject* module, visitproc visit, void* arg) {
    for (auto member : {kType, kMoreTypes...}) Py_VISIT(state(module)->*member);
    return 0;
  }

  static int clear(PyObject* module) {
    for (auto member : {kType, kMoreTypes...}) Py_CLEAR(state(module)->*member);
    return 0;
  }

  static void free(void* module) { clear(static_cast<PyObject*>(module)); }
};

}  // namespace kyber_alg
