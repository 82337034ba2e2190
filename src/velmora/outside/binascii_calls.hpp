// binascii.hexlify / binascii.unhexlify through the module global `binascii`,
// looked up again at every call.
#pragma once

#include "velmora/outside/call.hpp"

namespace kyber_alg::velmora {

inline Ref call_binascii(Namespace& names, Name function_name, PyObject* data) {
  Ref function = global_attr(names, Name::binascii, function_name);
  if (!function) return {};
  return call(function.get(), {data});
}

inline Ref hexlify(Namespace& names, PyObject* data) { return call_binascii(names, Name::hexlify, data); }
inline Ref unhexlify(Namespace& names, PyObject* data) { return call_binascii(names, Name::unhexlify, data); }

// binascii.hexlify(data).decode(), or .decode("utf-8") when utf_8 is set.
inline Ref hexlify_to_text(Namespace& names, PyObject* data, bool utf_8) {
  Ref digits = hexlify(names, data);
  if (!digits) return {};
  if (utf_8) return call_attr(digits.get(), Name::decode, {name(Name::utf_8)});
  return call_attr(digits.get(), Name::decode);
}

}  // namespace kyber_alg::velmora
