#include "velmora/outside/imports.hpp"

#include "velmora/outside/names.hpp"

namespace kyber_alg::velmora {
namespace {

// True when sys.modules holds the module and it is not still being initialised.
Ref already_imported(PyObject* module_name) {
  Ref module = Ref::steal(PyImport_GetModule(module_name));
  if (!module) {
    PyErr_Clear();
    return {};
  }
  Ref spec = Ref::steal(PyObject_GetAttr(module.get(), name(Name::dunder_spec)));
  if (!spec) {
    PyErr_Clear();
    return module;
  }
  Ref initializing = Ref::steal(PyObject_GetAttr(spec.get(), name(Name::initializing)));
  if (!initializing) {
    PyErr_Clear();
    return module;
  }
  int busy = PyObject_IsTrue(initializing.get());
  if (busy < 0) PyErr_Clear();
  if (busy == 0) return module;
  return {};
}

Ref import_level(PyObject* module_name, PyObject* globals, PyObject* fromlist, int level) {
  Ref locals = Ref::steal(PyDict_New());
  if (!locals) return {};
  return Ref::steal(PyImport_ImportModuleLevelObject(module_name, globals, locals.get(), fromlist, level));
}

Ref submodule_entry(PyObject* module, PyObject* attribute) {
  Ref module_name = Ref::steal(PyObject_GetAttr(module, name(Name::dunder_name)));
  if (!module_name) return {};
  Ref full_name = Ref::steal(PyUnicode_FromFormat("%S.%S", module_name.get(), attribute));
  if (!full_name) return {};
  return Ref::steal(PyImport_GetModule(full_name.get()));
}

}  // namespace

Ref import_module(PyObject* module_name, PyObject* globals) {
  if (Ref cached = already_imported(module_name)) return cached;
  return import_level(module_name, globals, nullptr, 0);
}

Ref import_from(PyObject* module_name, PyObject* attribute, int level, PyObject* globals) {
  Ref fromlist = Ref::steal(PyList_New(1));
  if (!fromlist) return {};
  PyList_SET_ITEM(fromlist.get(), 0, Py_NewRef(attribute));
  Ref module = import_level(module_name, globals, fromlist.get(), level);
  if (!module) return {};
  Ref value = Ref::steal(PyObject_GetAttr(module.get(), attribute));
  if (value || !PyErr_ExceptionMatches(PyExc_AttributeError)) return value;
  PyErr_Clear();
  value = submodule_entry(module.get(), attribute);
  if (!value) {
    // Whatever went wrong in the fallback, the importer learns the name it asked for.
    PyErr_Clear();
    PyErr_Format(PyExc_ImportError, "cannot import name %S", attribute);
  }
  return value;
}

}  // namespace kyber_alg::velmora
