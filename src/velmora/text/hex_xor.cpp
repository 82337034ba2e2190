#include <algorithm>
#include <cstdint>

#include "common/ct.hpp"
#include "common/hex.hpp"
#include "velmora/outside/call.hpp"
#include "velmora/text/text.hpp"
#include "velmora/unpack.hpp"

namespace kyber_alg::velmora {
namespace {

Ref from_hex(PyObject* text) {
  return call_attr(reinterpret_cast<PyObject*>(&PyBytes_Type), Name::fromhex, {text});
}

// bytes1 ^ bytes2 over the shorter length, straight to lower-case hex text
// through the constant-time codec (the result is the derived key).
Ref xor_to_hex(PyObject* bytes1, PyObject* bytes2) {
  const auto length = static_cast<std::size_t>(std::min(PyBytes_GET_SIZE(bytes1), PyBytes_GET_SIZE(bytes2)));
  Ref text = Ref::steal(PyUnicode_New(static_cast<Py_ssize_t>(2 * length), 127));
  if (!text) return {};
  auto* left = reinterpret_cast<const uint8_t*>(PyBytes_AS_STRING(bytes1));
  auto* right = reinterpret_cast<const uint8_t*>(PyBytes_AS_STRING(bytes2));
  auto* out = reinterpret_cast<char*>(PyUnicode_1BYTE_DATA(text.get()));
  uint8_t chunk[64];
  for (std::size_t done = 0; done < length; done += sizeof chunk) {
    const std::size_t n = std::min(length - done, sizeof chunk);
    for (std::size_t i = 0; i < n; ++i) chunk[i] = static_cast<uint8_t>(left[done + i] ^ right[done + i]);
    hex::encode(out + 2 * done, chunk, n);
  }
  ct::wipe(chunk, sizeof chunk);
  return text;
}

// The same through whatever `zip` was resolved at load, when it is not the
// builtin: bytes(a ^ b for a, b in zip(bytes1, bytes2)).hex()
Ref xor_through_zip(PyObject* zip, PyObject* bytes1, PyObject* bytes2) {
  Ref pairs = call(zip, {bytes1, bytes2});
  if (!pairs) return {};
  Ref iterator = Ref::steal(PyObject_GetIter(pairs.get()));
  if (!iterator) return {};
  Ref values = Ref::steal(PyList_New(0));
  if (!values) return {};
  while (Ref pair = Ref::steal(PyIter_Next(iterator.get()))) {
    Ref operands[2];
    if (!unpack_exactly(pair.get(), 2, operands)) return {};
    Ref value = Ref::steal(PyNumber_Xor(operands[0].get(), operands[1].get()));
    if (!value || PyList_Append(values.get(), value.get()) < 0) return {};
  }
  if (PyErr_Occurred()) return {};
  Ref result_bytes = call(reinterpret_cast<PyObject*>(&PyBytes_Type), {values.get()});
  if (!result_bytes) return {};
  return call_attr(result_bytes.get(), Name::hex);
}

}  // namespace

Ref xor_hex_strings(const Namespace& names, PyObject* hex_str1, PyObject* hex_str2) {
  Ref bytes1 = from_hex(hex_str1);
  if (!bytes1) return {};
  Ref bytes2 = from_hex(hex_str2);
  if (!bytes2) return {};
  PyObject* zip = names.load_time_builtins().zip.get();
  if (zip == reinterpret_cast<PyObject*>(&PyZip_Type)) return xor_to_hex(bytes1.get(), bytes2.get());
  return xor_through_zip(zip, bytes1.get(), bytes2.get());
}

}  // namespace kyber_alg::velmora
