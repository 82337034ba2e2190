// The six public functions: parameters, checks, introspection data, bodies.
#pragma once

#include <Python.h>

#include <span>

#include "velmora/outside/lookup.hpp"

namespace kyber_alg::velmora {

// A body receives its function's namespace and the bound arguments (borrowed,
// in parameter order) and returns a new reference, or null with an exception set.
using Body = PyObject* (*)(Namespace& names, PyObject* const* arguments);

struct Annotation {
  const char* key;
  const char* text;  // stored as text, never evaluated
};

struct FunctionSpec {
  const char* name;
  const char* entry_name;  // traceback entry: "Velmora.<name>"
  std::span<const char* const> parameters;
  std::span<const char* const> local_names;  // parameters first
  unsigned exact_str_parameters;             // bit i: parameter i must be exactly str
  std::span<const Annotation> annotations;
  const char* doc;  // null: __doc__ is None
  Body body;
};

constexpr Py_ssize_t kMaxParameters = 3;

// In the order in which the exec step creates and binds them.
std::span<const FunctionSpec> function_table();

}  // namespace kyber_alg::velmora
