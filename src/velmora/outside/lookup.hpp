// Finding names in a module's namespace at the moment of use, falling back
// to the builtins, as module-level Python code does.
#pragma once

#include <Python.h>

#include <cstdint>

#include "common/ref.hpp"
#include "velmora/outside/load_time_builtins.hpp"
#include "velmora/outside/names.hpp"

namespace kyber_alg::velmora {

// One module's namespace as its function bodies see it: the module dict, the
// builtins dict, the builtins resolved when the module loaded, and a cache of
// the module globals looked up. Every function object owns one, made from the
// namespace of the load that created it, so that it keeps reading its own
// module's dict (its __globals__) whatever loads after it.
class Namespace {
 public:
  // Holds globals and builtins from then on; call only while the GIL is held.
  Namespace(PyObject* globals, PyObject* builtins, LoadTimeBuiltins resolved);
  // The same namespace with a cache of its own.
  Namespace(const Namespace& other);
  Namespace& operator=(const Namespace&) = delete;

  // Lets namespaces over globals cache their lookups; runs once per load,
  // before the dict is used. False with an exception set.
  static bool prepare_caching(PyObject* globals);

  // A module global used by the function bodies. The value is cached per name
  // and reused only while the namespace dict is unchanged, so any rebinding is
  // seen by the next use. NameError when bound nowhere. Names outside the
  // cached set are looked up without a cache.
  Ref global(Name id);
  // The same lookup, uncached, for any name.
  Ref global_named(PyObject* key) const;
  // Binds key in the module namespace.
  bool set_global(Name id, PyObject* value) const;

  PyObject* dict() const { return globals_.get(); }
  PyObject* builtins_dict() const { return builtins_.get(); }
  const LoadTimeBuiltins& load_time_builtins() const { return resolved_; }

  // For the garbage collector: every reference held.
  int traverse(visitproc visit, void* arg) const;

 private:
  struct CacheSlot {
    uint64_t stamp = 0;         // 0: empty
    PyObject* value = nullptr;  // borrowed: the dict holds it while its stamp is unchanged
  };
  uint64_t current_stamp() const;

  Ref globals_;
  Ref builtins_;
  LoadTimeBuiltins resolved_;
  CacheSlot cache_[kGlobalNameCount];
};

}  // namespace kyber_alg::velmora
