#include "velmora/outside/lookup.hpp"

#include "velmora/module_state.hpp"

namespace kyber_alg::velmora {
namespace {

Ref lookup_uncached(PyObject* globals, PyObject* builtins, PyObject* key, bool* found_in_globals) {
  *found_in_globals = false;
  PyObject* value = PyDict_GetItemWithError(globals, key);
  if (value) {
    *found_in_globals = true;
    return Ref::borrow(value);
  }
  if (PyErr_Occurred()) return {};
  value = PyDict_GetItemWithError(builtins, key);
  if (value) return Ref::borrow(value);
  if (!PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%U' is not defined", key);
  return {};
}

#if PY_VERSION_HEX >= 0x030C0000
// 3.12 deprecates the dict version tag; a dict watcher marks every change to a
// watched module dict instead (any change, as the tag did).
int on_namespace_change(PyDict_WatchEvent, PyObject*, PyObject*, PyObject*) {
  ++module_state().namespace_changes;
  return 0;
}
#endif

}  // namespace

Namespace::Namespace(PyObject* globals, PyObject* builtins, LoadTimeBuiltins resolved)
    : globals_(Ref::borrow(globals)), builtins_(Ref::borrow(builtins)), resolved_(std::move(resolved)) {}

Namespace::Namespace(const Namespace& other)
    : globals_(Ref::borrow(other.globals_.get())),
      builtins_(Ref::borrow(other.builtins_.get())),
      resolved_(other.resolved_.copy()) {}

bool Namespace::prepare_caching(PyObject* globals) {
#if PY_VERSION_HEX >= 0x030C0000
  int& watcher = module_state().namespace_watcher;
  if (watcher == kNoWatcherYet) {
    watcher = PyDict_AddWatcher(on_namespace_change);
    if (watcher < 0) {
      // Every watcher slot is taken: lookups go uncached for the rest of the
      // process, as a dict left unwatched must never be cached.
      PyErr_Clear();
      watcher = kNoWatcherEver;
    }
  }
  return watcher < 0 || PyDict_Watch(watcher, globals) == 0;
#else
  (void)globals;
  return true;
#endif
}

uint64_t Namespace::current_stamp() const {
#if PY_VERSION_HEX >= 0x030C0000
  const ModuleState& state = module_state();
  return state.namespace_watcher < 0 ? 0 : state.namespace_changes + 1;
#else
  // A live dict's version tag is never 0 and changes with every change to it.
  return reinterpret_cast<PyDictObject*>(globals_.get())->ma_version_tag;
#endif
}

Ref Namespace::global(Name id) {
  if (static_cast<int>(id) >= kGlobalNameCount) return global_named(name(id));
  CacheSlot& slot = cache_[static_cast<int>(id)];
  uint64_t stamp = current_stamp();
  if (stamp != 0 && slot.stamp == stamp) return Ref::borrow(slot.value);
  bool in_globals = false;
  Ref value = lookup_uncached(globals_.get(), builtins_.get(), name(id), &in_globals);
  // Builtins are not cached: a change to their dict leaves the stamp alone.
  slot = in_globals && value ? CacheSlot{stamp, value.get()} : CacheSlot{};
  return value;
}

Ref Namespace::global_named(PyObject* key) const {
  bool in_globals = false;
  return lookup_uncached(globals_.get(), builtins_.get(), key, &in_globals);
}

bool Namespace::set_global(Name id, PyObject* value) const {
  return PyDict_SetItem(globals_.get(), name(id), value) == 0;
}

int Namespace::traverse(visitproc visit, void* arg) const {
  for (const Ref* held : {&globals_, &builtins_, &resolved_.print, &resolved_.type_error, &resolved_.zip}) {
    Py_VISIT(held->get());
  }
  return 0;
}

}  // namespace kyber_alg::velmora
