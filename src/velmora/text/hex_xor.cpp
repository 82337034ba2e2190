#include "../outside/call.hpp"
#include "../unpack.hpp"
#include "text.hpp"

namespace kyber_alg::velmora {
namespace {

Ref from_hex(PyObject* text) {
  return call_attr(reinterpret_cast<PyObject*>(&PyBytes_Type), Name::fromhex, {text});
}

// bytes1 ^ bytes2 over the shorter length, straight to lower-case hex text.
Ref xor_to_hex(PyObject* bytes1, PyObject* bytes2) {
  static constexpr char kDigits[] = "0123456789abcdef";
  Py_ssize_t length = std::min(PyBytes_GET_SIZE(bytes1), PyBytes_GET_SIZE(bytes2));
  Ref text = Ref::steal(PyUnicode_New(2 * length, 127));
  if (!text) return {};
  auto* left = reinterpret_cast<const unsigned char*>(PyBytes_AS_STRING(bytes1));
  auto* right = reinterpret_cast<const unsigned char*>(PyBytes_AS_STRING(bytes2));
  Py_UCS1* out = PyUnicode_1BYTE_DATA(text.get());
  for (Py_ssize_t i = 0; i < length; ++i) {
    unsigned char value = left[i] ^ right[i];
    out[2 * i] = kDigits[value >> 4];
    out[2 * i + 1] = kDigits[value & 0xf];
  }
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
