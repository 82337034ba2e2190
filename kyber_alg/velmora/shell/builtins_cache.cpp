#include "builtins_cache.hpp"

#include "../outside/names.hpp"
#include "common/ref.hpp"

namespace kyber_alg::velmora {
namespace {

struct Held {
  Ref print, type_error, zip;
};
Held* g_held = nullptr;
CachedBuiltins g_view{};

bool resolve(PyObject* builtins_dict, Name id, Ref* slot) {
  PyObject* value = PyDict_GetItemWithError(builtins_dict, name(id));
  if (!value) {
    if (!PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%U' is not defined", name(id));
    return false;
  }
  *slot = Ref::borrow(value);
  return true;
}

}  // namespace

bool cache_builtins(PyObject* builtins_dict) {
  Held& held = never_destroyed(g_held);
  if (!resolve(builtins_dict, Name::print, &held.print) || !resolve(builtins_dict, Name::TypeError, &held.type_error) ||
      !resolve(builtins_dict, Name::zip, &held.zip)) {
    return false;
  }
  g_view = CachedBuiltins{held.print.get(), held.type_error.get(), held.zip.get()};
  return true;
}

const CachedBuiltins& cached_builtins() { return g_view; }

}  // namespace kyber_alg::velmora
