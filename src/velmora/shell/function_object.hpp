// The module's function object type: vector calling with the module's own
// argument binding, and the attributes that introspection expects of a function.
#pragma once

#include <Python.h>

#include "common/ref.hpp"
#include "velmora/shell/function_constants.hpp"
#include "velmora/shell/function_table.hpp"

namespace kyber_alg::velmora {

bool ready_function_type();

// A new function for spec, with its constants, a namespace of its own over
// the module's (whose dict is its __globals__) and the given annotations dict.
Ref new_function(const FunctionSpec& spec, const FunctionConstants& constants, const Namespace& module_names,
                 PyObject* annotations);

}  // namespace kyber_alg::velmora
