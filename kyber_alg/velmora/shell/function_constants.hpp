// Per-function constants made once per load: interned parameter names and
// the code information that introspection reads.
#pragma once

#include <Python.h>

#include "common/ref.hpp"
#include "function_table.hpp"

namespace kyber_alg::velmora {

struct FunctionConstants {
  Ref parameter_names[kMaxParameters];
  Ref code;
};

bool prepare_function_constants();
// Indexed like function_table().
const FunctionConstants& function_constants(size_t index);

}  // namespace kyber_alg::velmora
