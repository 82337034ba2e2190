#include "velmora/shell/function_object.hpp"

#include <cstddef>
#include <new>

#include "velmora/module_name.hpp"
#include "velmora/shell/binding.hpp"
#include "velmora/shell/traceback_entry.hpp"

namespace kyber_alg::velmora {
namespace {

// The owned members, constructed in place after allocation and destroyed on dealloc.
struct FunctionFields {
  explicit FunctionFields(const Namespace& module_names) : names(module_names) {}

  Ref parameter_names[kMaxParameters];
  Ref name, qualname, module, doc, annotations, defaults, kwdefaults, code;
  // What the body reads names from: the module dict (__globals__), the
  // builtins and the builtins resolved when that module loaded.
  Namespace names;
};

struct FunctionObject {
  PyObject ob_base;  // what PyObject_HEAD declares
  vectorcallfunc vectorcall;
  PyObject* dict;      // managed by the type's generic __dict__ support
  PyObject* weakrefs;  // managed by the weak reference machinery
  const FunctionSpec* spec;
  FunctionFields fields;
};

FunctionObject* as_function(PyObject* self) { return reinterpret_cast<FunctionObject*>(self); }
FunctionFields& fields_of(PyObject* self) { return as_function(self)->fields; }

PyObject* function_vectorcall(PyObject* self, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
  FunctionObject* function = as_function(self);
  const FunctionSpec& spec = *function->spec;
  PyObject* bound[kMaxParameters] = {};
  if (spec.parameters.empty()) {
    if (!check_no_arguments(spec, nargsf, kwnames)) return nullptr;
  } else {
    switch (bind_arguments(spec, function->fields.parameter_names, args, nargsf, kwnames, bound)) {
      case BindResult::bound:
        break;
      case BindResult::count_or_keyword_error:
        add_traceback_entry(spec.entry_name);
        return nullptr;
      case BindResult::type_error:
        return nullptr;
    }
  }
  PyObject* result = spec.body(function->fields.names, bound);
  if (!result) add_traceback_entry(spec.entry_name);
  return result;
}

int function_traverse(PyObject* self, visitproc visit, void* arg) {
  FunctionObject* f = as_function(self);
  Py_VISIT(f->dict);
  const FunctionFields& m = f->fields;
  for (PyObject* member : {m.name.get(), m.qualname.get(), m.module.get(), m.doc.get(), m.annotations.get(),
                           m.defaults.get(), m.kwdefaults.get(), m.code.get()}) {
    Py_VISIT(member);
  }
  return m.names.traverse(visit, arg);
}

int function_clear(PyObject* self) {
  FunctionObject* f = as_function(self);
  Py_CLEAR(f->dict);
  FunctionFields& m = f->fields;
  for (Ref* member :
       {&m.name, &m.qualname, &m.module, &m.doc, &m.annotations, &m.defaults, &m.kwdefaults, &m.code}) {
    member->reset();
  }
  // The namespace stays until dealloc, so that a call in the meantime finds
  // its dicts; clearing the module dict itself breaks a cycle through it.
  return 0;
}

void function_dealloc(PyObject* self) {
  FunctionObject* f = as_function(self);
  PyObject_GC_UnTrack(self);
  if (f->weakrefs) PyObject_ClearWeakRefs(self);
  function_clear(self);
  f->fields.~FunctionFields();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
}

PyObject* function_repr(PyObject* self) {
  return PyUnicode_FromFormat("<function %U at %p>", fields_of(self).qualname.get(), self);
}

// --- attributes -------------------------------------------------------------

PyObject* get_ref(const Ref& member) { return Py_NewRef(member.get() ? member.get() : Py_None); }

int set_text(Ref& member, PyObject* value, const char* attribute) {
  if (!value || !PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "%s must be set to a string object", attribute);
    return -1;
  }
  member = Ref::borrow(value);
  return 0;
}

// None (or deletion) stores None; otherwise the value must have the given type.
int set_optional(Ref& member, PyObject* value, PyTypeObject* type, const char* attribute) {
  if (!value || value == Py_None) {
    member = Ref::borrow(Py_None);
    return 0;
  }
  if (!PyObject_TypeCheck(value, type)) {
    PyErr_Format(PyExc_TypeError, "%s must be set to a %s object", attribute, type->tp_name);
    return -1;
  }
  member = Ref::borrow(value);
  return 0;
}

PyObject* get_name(PyObject* self, void*) { return get_ref(fields_of(self).name); }
int set_name(PyObject* self, PyObject* value, void*) {
  return set_text(fields_of(self).name, value, "__name__");
}
PyObject* get_qualname(PyObject* self, void*) { return get_ref(fields_of(self).qualname); }
int set_qualname(PyObject* self, PyObject* value, void*) {
  return set_text(fields_of(self).qualname, value, "__qualname__");
}
PyObject* get_doc(PyObject* self, void*) { return get_ref(fields_of(self).doc); }
int set_doc(PyObject* self, PyObject* value, void*) {
  fields_of(self).doc = Ref::borrow(value ? value : Py_None);
  return 0;
}
PyObject* get_defaults(PyObject* self, void*) { return get_ref(fields_of(self).defaults); }
int set_defaults(PyObject* self, PyObject* value, void*) {
  return set_optional(fields_of(self).defaults, value, &PyTuple_Type, "__defaults__");
}
PyObject* get_kwdefaults(PyObject* self, void*) { return get_ref(fields_of(self).kwdefaults); }
int set_kwdefaults(PyObject* self, PyObject* value, void*) {
  return set_optional(fields_of(self).kwdefaults, value, &PyDict_Type, "__kwdefaults__");
}
PyObject* get_annotations(PyObject* self, void*) {
  Ref& annotations = fields_of(self).annotations;
  if (!annotations || annotations.get() == Py_None) annotations = Ref::steal(PyDict_New());
  return annotations ? Py_NewRef(annotations.get()) : nullptr;
}
int set_annotations(PyObject* self, PyObject* value, void*) {
  if (value && value != Py_None && !PyDict_Check(value)) {
    PyErr_SetString(PyExc_TypeError, "__annotations__ must be set to a dict object");
    return -1;
  }
  // None or deletion: a fresh empty dict appears on the next read, as for Python functions.
  fields_of(self).annotations = Ref::borrow(value == Py_None ? nullptr : value);
  return 0;
}
PyObject* get_globals(PyObject* self, void*) { return Py_NewRef(fields_of(self).names.dict()); }
PyObject* get_code(PyObject* self, void*) { return get_ref(fields_of(self).code); }
PyObject* get_closure(PyObject*, void*) { Py_RETURN_NONE; }
PyObject* get_module(PyObject* self, void*) { return get_ref(fields_of(self).module); }
int set_module(PyObject* self, PyObject* value, void*) {
  fields_of(self).module = Ref::borrow(value ? value : Py_None);
  return 0;
}

PyGetSetDef kFunctionGetSet[] = {
    {"__name__", get_name, set_name, nullptr, nullptr},
    {"__qualname__", get_qualname, set_qualname, nullptr, nullptr},
    {"__module__", get_module, set_module, nullptr, nullptr},
    {"__doc__", get_doc, set_doc, nullptr, nullptr},
    {"__annotations__", get_annotations, set_annotations, nullptr, nullptr},
    {"__defaults__", get_defaults, set_defaults, nullptr, nullptr},
    {"__kwdefaults__", get_kwdefaults, set_kwdefaults, nullptr, nullptr},
    {"__globals__", get_globals, nullptr, nullptr, nullptr},
    {"__closure__", get_closure, nullptr, nullptr, nullptr},
    {"__code__", get_code, nullptr, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject g_function_type = [] {
  PyTypeObject type{};
  Py_SET_REFCNT(reinterpret_cast<PyObject*>(&type), 1);  // static: never freed
  type.tp_name = VELMORA_MODULE_NAME ".velmora_function";
  type.tp_basicsize = sizeof(FunctionObject);
  type.tp_dealloc = function_dealloc;
  type.tp_vectorcall_offset = offsetof(FunctionObject, vectorcall);
  type.tp_repr = function_repr;
  type.tp_call = PyVectorcall_Call;
  type.tp_getattro = PyObject_GenericGetAttr;
  type.tp_setattro = PyObject_GenericSetAttr;
  type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL;
  type.tp_doc = "Function of the Velmora module.";
  type.tp_traverse = function_traverse;
  type.tp_clear = function_clear;
  type.tp_weaklistoffset = offsetof(FunctionObject, weakrefs);
  type.tp_getset = kFunctionGetSet;
  type.tp_dictoffset = offsetof(FunctionObject, dict);
  return type;
}();

Ref annotations_or_empty(PyObject* annotations) {
  return annotations ? Ref::borrow(annotations) : Ref::steal(PyDict_New());
}

}  // namespace

bool ready_function_type() { return PyType_Ready(&g_function_type) == 0; }

Ref new_function(const FunctionSpec& spec, const FunctionConstants& constants, const Namespace& module_names,
                 PyObject* annotations) {
  Ref name = Ref::steal(PyUnicode_InternFromString(spec.name));
  Ref module = Ref::steal(PyUnicode_InternFromString(kModuleName));
  Ref doc = spec.doc ? Ref::steal(PyUnicode_FromString(spec.doc)) : Ref::borrow(Py_None);
  Ref annotation_dict = annotations_or_empty(annotations);
  if (!name || !module || !doc || !annotation_dict) return {};

  FunctionObject* f = PyObject_GC_New(FunctionObject, &g_function_type);
  if (!f) return {};
  f->vectorcall = function_vectorcall;
  f->dict = nullptr;
  f->weakrefs = nullptr;
  f->spec = &spec;
  FunctionFields& fields = *new (&f->fields) FunctionFields(module_names);
  for (size_t p = 0; p < kMaxParameters; ++p) {
    fields.parameter_names[p] = Ref::borrow(constants.parameter_names[p].get());
  }
  fields.qualname = Ref::borrow(name.get());
  fields.name = std::move(name);
  fields.module = std::move(module);
  fields.doc = std::move(doc);
  fields.annotations = std::move(annotation_dict);
  fields.defaults = Ref::borrow(Py_None);
  fields.kwdefaults = Ref::borrow(Py_None);
  fields.code = Ref::borrow(constants.code.get());
  PyObject_GC_Track(f);
  return Ref::steal(reinterpret_cast<PyObject*>(f));
}

}  // namespace kyber_alg::velmora
