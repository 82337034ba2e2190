#include "velmora/outside/load_time_builtins.hpp"

#include "velmora/outside/names.hpp"

namespace kyber_alg::velmora {
namespace {

Ref resolve(PyObject* builtins_dict, Name id) {
  PyObject* value = PyDict_GetItemWithError(builtins_dict, name(id));
  if (!value && !PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%U' is not defined", name(id));
  return Ref::borrow(value);
}

}  // namespace

LoadTimeBuiltins LoadTimeBuiltins::copy() const {
  return {Ref::borrow(print.get()), Ref::borrow(type_error.get()), Ref::borrow(zip.get())};
}

LoadTimeBuiltins resolve_load_time_builtins(PyObject* builtins_dict) {
  LoadTimeBuiltins resolved;
  if (!(resolved.print = resolve(builtins_dict, Name::print))) return {};
  if (!(resolved.type_error = resolve(builtins_dict, Name::TypeError))) return {};
  if (!(resolved.zip = resolve(builtins_dict, Name::zip))) return {};
  return resolved;
}

}  // namespace kyber_alg::velmora
