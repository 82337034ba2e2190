// The two kinds of import statement the module runs while it loads.
#pragma once

#include <Python.h>

#include "common/ref.hpp"

namespace kyber_alg::velmora {

// `import <module>`: an entry of sys.modules that has finished initialising
// is taken as it is; anything else goes through the import system.
Ref import_module(PyObject* module_name, PyObject* globals);

// `from <module> import <attribute>` at the given level (1 with an empty module
// name: the package that contains this module). Falls back to the submodule
// entry "<module>.<attribute>" of sys.modules; ImportError when neither exists.
Ref import_from(PyObject* module_name, PyObject* attribute, int level, PyObject* globals);

}  // namespace kyber_alg::velmora
