// Unpacking a result into exactly N values, with the module's own messages.
#pragma once

#include <Python.h>

#include "common/ref.hpp"

namespace kyber_alg::velmora {

// A tuple or list of length count is taken directly; anything else is
// iterated and must yield exactly count items. Fills out[0..count).
bool unpack_exactly(PyObject* values, Py_ssize_t count, Ref* out);

}  // namespace kyber_alg::velmora
