#include <cstdio>
#include <optional>
#include <vector>

#include "common/ref.hpp"
#include "velmora/module_name.hpp"
#include "velmora/module_state.hpp"
#include "velmora/outside/imports.hpp"
#include "velmora/outside/load_time_builtins.hpp"
#include "velmora/outside/lookup.hpp"
#include "velmora/outside/names.hpp"
#include "velmora/shell/function_constants.hpp"
#include "velmora/shell/function_object.hpp"
#include "velmora/shell/loading_steps.hpp"
#include "velmora/shell/pending_exception.hpp"
#include "velmora/shell/self_test.hpp"
#include "velmora/shell/traceback_entry.hpp"

namespace kyber_alg::velmora {
namespace {

// The interpreter version whose headers this build used.
constexpr int kBuiltForMajor = PY_MAJOR_VERSION;
constexpr int kBuiltForMinor = PY_MINOR_VERSION;

struct ImportStatement {
  Name module;
  Name bound;     // the module itself, or the one name taken from it
  bool one_name;  // `from module import bound`
  int level;
};

constexpr ImportStatement kImports[] = {
    {Name::os, Name::os, false, 0},
    {Name::package, Name::Kyber, true, 1},
    {Name::random, Name::random, false, 0},
    {Name::typing, Name::Tuple, true, 0},
    {Name::binascii, Name::binascii, false, 0},
    {Name::pysmx_SM2, Name::generate_keypair, true, 0},
    {Name::pysmx_SM2, Name::Encrypt, true, 0},
    {Name::pysmx_SM2, Name::Decrypt, true, 0},
    {Name::pysmx_SM3, Name::SM3, true, 0},
    {Name::pysmx_SM3, Name::hash_msg, true, 0},
    {Name::gmssl, Name::sm4, true, 0},
};

bool warn_on_version_mismatch() {
  int major = static_cast<int>((Py_Version >> 24) & 0xff);
  int minor = static_cast<int>((Py_Version >> 16) & 0xff);
  if (major == kBuiltForMajor && minor == kBuiltForMinor) return true;
  char message[200];
  std::snprintf(message, sizeof message,
                "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                kBuiltForMajor, kBuiltForMinor, kModuleName, "does not match", major, minor);
  return PyErr_WarnEx(PyExc_RuntimeWarning, message, 1) == 0;
}

// One load attempt: the exec step's statements and, when one fails, the
// undoing of what must not outlive the failed module.
class Loading {
 public:
  explicit Loading(PyObject* module) : module_(module), globals_(PyModule_GetDict(module)) {}

  bool run() {
    return bind_builtins_module() && warn_on_version_mismatch() && prepare_constants() &&
           enter_plain_name() && resolve_builtins() && run_imports() && create_functions() &&
           run_self_test_if_main(*names_) && bind_test_dict();
  }

  void fail() {
    if (constants_prepared_) add_traceback_entry("init " VELMORA_MODULE_NAME);
    if (entered_plain_name_) leave_plain_name();
    module_state().instance.reset();
  }

 private:
  bool bind_builtins_module() {
    builtins_ = PyImport_AddModule("builtins");
    if (!builtins_) return false;
    builtins_dict_ = PyModule_GetDict(builtins_);
    return PyObject_SetAttrString(module_, "__builtins__", builtins_) == 0;
  }

  bool prepare_constants() {
    if (!prepare_names()) return false;
    constants_ = make_function_constants();
    if (constants_.empty() || !ready_function_type() || !Namespace::prepare_caching(globals_)) return false;
    constants_prepared_ = true;
    return true;
  }

  // A package submodule is also entered as plain "Velmora" unless that name is taken.
  bool enter_plain_name() {
    PyObject* modules = PyImport_GetModuleDict();
    PyObject* plain_name = name(Name::plain_module_name);
    if (PyDict_GetItemWithError(modules, plain_name)) return true;
    if (PyErr_Occurred()) return false;
    if (PyDict_SetItem(modules, plain_name, module_) < 0) return false;
    entered_plain_name_ = true;
    return true;
  }

  // A failed load must not leave its half-initialised module importable as
  // "Velmora"; a later successful load enters itself there instead.
  void leave_plain_name() {
    PendingException pending;
    PyObject* modules = PyImport_GetModuleDict();
    PyObject* plain_name = name(Name::plain_module_name);
    if (PyDict_GetItemWithError(modules, plain_name) == module_) PyDict_DelItem(modules, plain_name);
  }

  bool resolve_builtins() {
    LoadTimeBuiltins resolved = resolve_load_time_builtins(builtins_dict_);
    if (!resolved.zip) return false;
    names_.emplace(globals_, builtins_dict_, std::move(resolved));
    return true;
  }

  bool run_imports() {
    for (const ImportStatement& statement : kImports) {
      Ref value = statement.one_name
                      ? import_from(name(statement.module), name(statement.bound), statement.level, globals_)
                      : import_module(name(statement.module), globals_);
      if (!value || !names_->set_global(statement.bound, value.get())) return false;
    }
    return true;
  }

  bool create_functions() {
    auto table = function_table();
    for (size_t i = 0; i < table.size(); ++i) {
      const FunctionSpec& spec = table[i];
      Ref annotations;
      if (!spec.annotations.empty() && !(annotations = annotation_dict(spec))) return false;
      Ref function = new_function(spec, constants_[i], *names_, annotations.get());
      if (!function || PyDict_SetItemString(globals_, spec.name, function.get()) < 0) return false;
    }
    return true;
  }

  static Ref annotation_dict(const FunctionSpec& spec) {
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return {};
    for (const Annotation& annotation : spec.annotations) {
      Ref text = Ref::steal(PyUnicode_FromString(annotation.text));
      if (!text || PyDict_SetItemString(dict.get(), annotation.key, text.get()) < 0) return {};
    }
    return dict;
  }

  bool bind_test_dict() {
    Ref test = Ref::steal(PyDict_New());
    return test && names_->set_global(Name::dunder_test, test.get());
  }

  PyObject* module_;
  PyObject* globals_;
  PyObject* builtins_ = nullptr;
  PyObject* builtins_dict_ = nullptr;
  std::vector<FunctionConstants> constants_;
  std::optional<Namespace> names_;  // from the builtins step on
  bool constants_prepared_ = false;
  bool entered_plain_name_ = false;
};

}  // namespace

int exec_step(PyObject* module) {
  Ref& instance = module_state().instance;
  if (instance) {
    if (instance.get() == module) return 0;  // reload, or a second exec of the loaded module
    PyErr_SetString(PyExc_RuntimeError, "Module '" VELMORA_MODULE_NAME
                                        "' has already been imported. Re-initialisation is not supported.");
    return -1;
  }
  instance = Ref::borrow(module);
  Loading loading(module);
  if (loading.run()) return 0;
  loading.fail();
  return -1;
}

}  // namespace kyber_alg::velmora
