#include "lookup.hpp"

#include <cstdint>

namespace kyber_alg::velmora {
namespace {

// Strong references: a function object that outlives a failed load must
// never look names up in a freed dict.
struct Namespace {
  Ref globals;
  Ref builtins;
};
Namespace* g_namespace = nullptr;
PyObject* g_globals = nullptr;   // g_namespace->globals, read on every lookup
PyObject* g_builtins = nullptr;  // g_namespace->builtins

struct CacheSlot {
  uint64_t version = 0;  // 0: empty (a live dict's tag is never 0)
  PyObject* value = nullptr;  // borrowed: the dict holds it while the tag is unchanged
};
CacheSlot g_cache[kGlobalNameCount];

uint64_t version_of(PyObject* dict) { return reinterpret_cast<PyDictObject*>(dict)->ma_version_tag; }

Ref lookup_uncached(PyObject* key, bool* found_in_globals) {
  *found_in_globals = false;
  PyObject* value = PyDict_GetItemWithError(g_globals, key);
  if (value) {
    *found_in_globals = true;
    return Ref::borrow(value);
  }
  if (PyErr_Occurred()) return {};
  value = PyDict_GetItemWithError(g_builtins, key);
  if (value) return Ref::borrow(value);
  if (!PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%U' is not defined", key);
  return {};
}

}  // namespace

void bind_namespace(PyObject* globals, PyObject* builtins) {
  Namespace& held = never_destroyed(g_namespace);
  held.globals = Ref::borrow(globals);
  held.builtins = Ref::borrow(builtins);
  g_globals = globals;
  g_builtins = builtins;
  for (CacheSlot& slot : g_cache) slot = CacheSlot{};
}

PyObject* namespace_dict() { return g_globals; }

Ref global(Name id) {
  if (static_cast<int>(id) >= kGlobalNameCount) return global_named(name(id));
  CacheSlot& slot = g_cache[static_cast<int>(id)];
  uint64_t version = version_of(g_globals);
  if (slot.version == version && slot.value) return Ref::borrow(slot.value);
  bool in_globals = false;
  Ref value = lookup_uncached(name(id), &in_globals);
  // Builtins are not cached: their dict has a version tag of its own.
  slot = in_globals ? CacheSlot{version, value.get()} : CacheSlot{};
  return value;
}

Ref global_named(PyObject* key) {
  bool in_globals = false;
  return lookup_uncached(key, &in_globals);
}

bool set_global(Name id, PyObject* value) { return PyDict_SetItem(g_globals, name(id), value) == 0; }

}  // namespace kyber_alg::velmora
