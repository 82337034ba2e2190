// Per-function constants made once per load: interned parameter names and
// the code information that introspection reads.
#pragma once

#include <Python.h>

#include <vector>

#include "common/ref.hpp"
#include "velmora/shell/function_table.hpp"

namespace kyber_alg::velmora {

struct FunctionConstants {
  Ref parameter_names[kMaxParameters];
  Ref code;
};

// One entry per function, indexed like function_table(); empty with an
// exception set on failure.
std::vector<FunctionConstants> make_function_constants();

}  // namespace kyber_alg::velmora
