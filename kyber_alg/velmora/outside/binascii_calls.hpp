// binascii.hexlify / binascii.unhexlify through the module global `binascii`,
// looked up again at every call.
#pragma once

#include "call.hpp"

namespace kyber_alg::velmora {

inline Ref call_binascii(Name function_name, PyObject* data) {
  Ref function = global_attr(Name::binascii, function_name);
  if (!function) return {};
  return call(function.get(), {data});
}

inline Ref hexlify(PyObject* data) { return call_binascii(Name::hexlify, data); }
inline Ref unhexlify(PyObject* data) { return call_binascii(Name::unhexlify, data); }

// binascii.hexlify(data).decode(), or .decode("utf-8") when utf_8 is set.
inline Ref hexlify_to_text(PyObject* data, bool utf_8) {
  Ref digits = hexlify(data);
  if (!digits) return {};
  if (utf_8) return call_attr(digits.get(), Name::decode, {name(Name::utf_8)});
  return call_attr(digits.get(), Name::decode);
}

}  // namespace kyber_alg::velmora
