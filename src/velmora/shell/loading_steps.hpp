// The create and exec steps the interpreter runs when it loads the module.
#pragma once

#include <Python.h>

namespace kyber_alg::velmora {

// Returns the one module object of the process (new reference), creating it
// from the spec on first use.
PyObject* create_step(PyObject* spec, PyModuleDef* definition);

// Initialises the module: imports, functions, self-test when run as main.
// 0 on success, -1 with an exception set.
int exec_step(PyObject* module);

}  // namespace kyber_alg::velmora
