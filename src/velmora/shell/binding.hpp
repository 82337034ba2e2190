// Binding a vector call's arguments to a function's parameters.
#pragma once

#include <Python.h>

#include "common/ref.hpp"
#include "velmora/shell/function_table.hpp"

namespace kyber_alg::velmora {

enum class BindResult { bound, count_or_keyword_error, type_error };

// Fills bound[0..N) with borrowed references for the N parameters of spec.
// parameter_names are the interned names, in parameter order.
BindResult bind_arguments(const FunctionSpec& spec, const Ref* parameter_names, PyObject* const* args,
                          size_t nargsf, PyObject* kwnames, PyObject** bound);

// key_gen_hybrid takes nothing; false with TypeError set otherwise.
bool check_no_arguments(const FunctionSpec& spec, size_t nargsf, PyObject* kwnames);

}  // namespace kyber_alg::velmora
