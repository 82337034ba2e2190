#include "velmora/shell/function_constants.hpp"

#include <vector>

#include "velmora/module_name.hpp"

namespace kyber_alg::velmora {
namespace {

constexpr int kOptimizedNewLocals = 0x0001 | 0x0002;  // CO_OPTIMIZED | CO_NEWLOCALS, as for any function

Ref tuple_of_names(std::span<const char* const> texts) {
  Ref tuple = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(texts.size())));
  if (!tuple) return {};
  for (size_t i = 0; i < texts.size(); ++i) {
    PyObject* text = PyUnicode_InternFromString(texts[i]);
    if (!text) return {};
    PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), text);
  }
  return tuple;
}

bool set_item(PyObject* dict, const char* key, PyObject* value) {
  return value && PyDict_SetItemString(dict, key, value) == 0;
}

// An empty code object of the function's name, given its argument count and
// local-variable names through code.replace().
Ref make_code(const FunctionSpec& spec) {
  Ref empty = Ref::steal(reinterpret_cast<PyObject*>(PyCode_NewEmpty(kSourceName, spec.name, 1)));
  if (!empty) return {};
  Ref changes = Ref::steal(PyDict_New());
  if (!changes) return {};
  Ref local_names = tuple_of_names(spec.local_names);
  Ref argcount = Ref::steal(PyLong_FromSize_t(spec.parameters.size()));
  Ref nlocals = Ref::steal(PyLong_FromSize_t(spec.local_names.size()));
  Ref flags = Ref::steal(PyLong_FromLong(kOptimizedNewLocals));
  Ref qualname = Ref::steal(PyUnicode_InternFromString(spec.name));
  if (!set_item(changes.get(), "co_varnames", local_names.get()) ||
      !set_item(changes.get(), "co_argcount", argcount.get()) ||
      !set_item(changes.get(), "co_nlocals", nlocals.get()) ||
      !set_item(changes.get(), "co_flags", flags.get()) ||
      !set_item(changes.get(), "co_qualname", qualname.get())) {
    return {};
  }
  Ref replace = Ref::steal(PyObject_GetAttrString(empty.get(), "replace"));
  if (!replace) return {};
  Ref no_arguments = Ref::steal(PyTuple_New(0));
  if (!no_arguments) return {};
  return Ref::steal(PyObject_Call(replace.get(), no_arguments.get(), changes.get()));
}

}  // namespace

std::vector<FunctionConstants> make_function_constants() {
  auto table = function_table();
  std::vector<FunctionConstants> made(table.size());
  for (size_t f = 0; f < table.size(); ++f) {
    for (size_t p = 0; p < table[f].parameters.size(); ++p) {
      made[f].parameter_names[p] = Ref::steal(PyUnicode_InternFromString(table[f].parameters[p]));
      if (!made[f].parameter_names[p]) return {};
    }
    made[f].code = make_code(table[f]);
    if (!made[f].code) return {};
  }
  return made;
}

}  // namespace kyber_alg::velmora
