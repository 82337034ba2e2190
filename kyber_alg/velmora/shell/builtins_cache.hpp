// Builtins resolved once at load: later rebinding of these names changes nothing.
#pragma once

#include <Python.h>

namespace kyber_alg::velmora {

struct CachedBuiltins {
  PyObject* print;
  PyObject* type_error;
  PyObject* zip;
};

// Looks up print, TypeError and zip in the builtins module's dict; NameError
// for a missing one.
bool cache_builtins(PyObject* builtins_dict);
// Borrowed references, valid after a successful cache_builtins().
const CachedBuiltins& cached_builtins();

}  // namespace kyber_alg::velmora
