#include "common/ref.hpp"
#include "velmora/module_state.hpp"
#include "velmora/shell/loading_steps.hpp"

namespace kyber_alg::velmora {
namespace {

bool claim_interpreter() {
  int64_t current = PyInterpreterState_GetID(PyThreadState_GetInterpreter(PyThreadState_Get()));
  int64_t& owner = module_state().owning_interpreter;
  if (owner == -1) {
    owner = current;
    return current != -1;  // -1: the host has raised already
  }
  if (owner != current) {
    PyErr_SetString(
        PyExc_ImportError,
        "Interpreter change detected - this module can only be loaded into one interpreter per process.");
    return false;
  }
  return true;
}

// Copies spec.<from> to module.<to>; a missing spec attribute is skipped.
bool copy_spec_attribute(PyObject* spec, PyObject* module_dict, const char* from, const char* to,
                         bool skip_none) {
  Ref value = Ref::steal(PyObject_GetAttrString(spec, from));
  if (!value) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    return true;
  }
  if (skip_none && value.get() == Py_None) return true;
  return PyDict_SetItemString(module_dict, to, value.get()) == 0;
}

}  // namespace

PyObject* create_step(PyObject* spec, PyModuleDef*) {
  if (!claim_interpreter()) return nullptr;
  if (Ref& instance = module_state().instance) return Py_NewRef(instance.get());

  Ref module_name = Ref::steal(PyObject_GetAttrString(spec, "name"));
  if (!module_name) return nullptr;
  Ref module = Ref::steal(PyModule_NewObject(module_name.get()));
  if (!module) return nullptr;
  PyObject* dict = PyModule_GetDict(module.get());
  if (!copy_spec_attribute(spec, dict, "loader", "__loader__", false) ||
      !copy_spec_attribute(spec, dict, "origin", "__file__", false) ||
      !copy_spec_attribute(spec, dict, "parent", "__package__", false) ||
      !copy_spec_attribute(spec, dict, "submodule_search_locations", "__path__", true)) {
    return nullptr;
  }
  return module.release();
}

}  // namespace kyber_alg::velmora
