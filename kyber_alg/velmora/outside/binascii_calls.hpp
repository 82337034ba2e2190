// binascii.hexlify / binascii.unhexlify through the module global `binascii`,
// looked up again at every call.
#pragma once

#include "call.hpp"

namespace velmora {

inline Ref call_binascii(Name function_name, PyObject* data) {
  Ref function = global_attr(Name::binascii, function_name);
  if (!function) return {};
  return call(function.get(), {data});
}

inline Ref hexlify(PyObject* data) { return call_binascii(Name::hexlify, data); }
inline Ref unhexlify(PyObject* data) { return call_binascii(Name::unhexlify, data); }

}  // namespace velmora
