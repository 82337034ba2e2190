// Indexing and slicing with the object's own rules, as `value[i]` and
// `value[start:stop]` do.
#pragma once

#include <Python.h>

#include <optional>

#include "common/ref.hpp"

namespace kyber_alg::velmora {

// value[index]
Ref item(PyObject* value, Py_ssize_t index);

// A missing bound is None in the slice. Objects without subscription raise
// TypeError "'<type>' object is unsliceable".
Ref slice(PyObject* value, std::optional<Py_ssize_t> start, std::optional<Py_ssize_t> stop);

}  // namespace kyber_alg::velmora
