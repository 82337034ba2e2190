// The module-state slots of an extension module that keeps the heap types it
// creates in its exec slot in the module state (not in statics), so that
// every module object has its own and the garbage collector sees the
// references. Instantiate with the state members that hold them: pointers to
// Python objects, or arrays of such pointers:
//
//   struct ModuleState { PyObject* hash_type; PyObject* mode_types[3]; };
//   using StateSlots = kyber_alg::ModuleStateSlots<&ModuleState::hash_type, &ModuleState::mode_types>;
//
// and use StateSlots::state(module) in place of PyModule_GetState, and
// StateSlots::traverse / clear / free as m_traverse / m_clear / m_free
// (module_def.hpp does that).
#pragma once

#include <Python.h>

#include <cstddef>

namespace kyber_alg {

template <class Member>
struct StateOfMember;

template <class State, class Type>
struct StateOfMember<Type State::*> {
  using type = State;
};

template <auto kMember, auto... kMoreMembers>
struct ModuleStateSlots {
  using State = typename StateOfMember<decltype(kMember)>::type;
  static constexpr Py_ssize_t size = sizeof(State);

  static State* state(PyObject* module) { return static_cast<State*>(PyModule_GetState(module)); }

  static int traverse(PyObject* module, visitproc visit, void* arg) {
    int result = 0;
    for_each_reference(state(module), [&](auto*& object) {
      if (object && result == 0) result = visit(reinterpret_cast<PyObject*>(object), arg);
    });
    return result;
  }

  static int clear(PyObject* module) {
    for_each_reference(state(module), [](auto*& object) { Py_CLEAR(object); });
    return 0;
  }

  static void free(void* module) { clear(static_cast<PyObject*>(module)); }

 private:
  template <class Object, class Work>
  static void each(Object*& object, Work& work) {
    work(object);
  }
  template <class Object, std::size_t N, class Work>
  static void each(Object* (&objects)[N], Work& work) {
    for (Object*& object : objects) work(object);
  }
  template <class Work>
  static void for_each_reference(State* s, Work work) {
    each(s->*kMember, work);
    (each(s->*kMoreMembers, work), ...);
  }
};

}  // namespace kyber_alg
