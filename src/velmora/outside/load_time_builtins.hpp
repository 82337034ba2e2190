// Builtins resolved once at load: later rebinding of these names changes nothing.
#pragma once

#include <Python.h>

#include "common/ref.hpp"

namespace kyber_alg::velmora {

struct LoadTimeBuiltins {
  Ref print;
  Ref type_error;
  Ref zip;

  LoadTimeBuiltins copy() const;
};

// Looks up print, TypeError and zip in the builtins module's dict; NameError
// for a missing one. Empty refs on failure.
LoadTimeBuiltins resolve_load_time_builtins(PyObject* builtins_dict);

}  // namespace kyber_alg::velmora
