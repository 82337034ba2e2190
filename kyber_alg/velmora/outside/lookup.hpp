// Finding names in the module's namespace at the moment of use, falling back
// to the builtins, as module-level Python code does.
#pragma once

#include <Python.h>

#include "common/ref.hpp"
#include "names.hpp"

namespace kyber_alg::velmora {

// Points lookups at the module's namespace dict and the builtins module's
// dict (both kept alive from then on). Clears the caches.
void bind_namespace(PyObject* globals, PyObject* builtins);
PyObject* namespace_dict();

// A module global used by the function bodies. The value is cached per name
// and reused only while the namespace's version tag is unchanged, so any
// rebinding is seen by the next use. NameError when bound nowhere.
// Names outside the cached set are looked up without a cache.
Ref global(Name id);

// The same lookup, uncached, for any name.
Ref global_named(PyObject* key);

// Binds key in the module namespace.
bool set_global(Name id, PyObject* value);

}  // namespace kyber_alg::velmora
