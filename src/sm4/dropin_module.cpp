// The Python module kyber_alg.sm.sm4: gmssl.sm4's CryptSM4 interface on the
// native SM4. Multi-phase initialisation (PEP 489).
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/args.hpp"
#include "common/buffer.hpp"
#include "common/ct.hpp"
#include "common/dispatch_functions.hpp"
#include "common/gil.hpp"
#include "common/module_def.hpp"
#include "common/ref.hpp"
#include "sm4/kernels.hpp"
#include "sm4/padding.hpp"
#include "sm4/sm4.hpp"

namespace sm4 = kyber_alg::sm4;
using kyber_alg::ByteView;
using kyber_alg::Ref;

namespace {

// gmssl 3.2.2's values.
constexpr long kEncrypt = 0, kDecrypt = 1;
constexpr long kPkcs7 = 0, kZero = 1;

struct ModuleState {
  PyObject* cipher_type;
};

using StateSlots = kyber_alg::ModuleStateSlots<&ModuleState::cipher_type>;

// Calls that drop the GIL work on a copy of the key schedule taken while
// holding it, so set_key() from another thread can never change the keys
// under a running call, and one object may serve several threads at once.
struct CipherObject {
  PyObject_HEAD sm4::RoundKeys keys;  // in the order the rounds use them for `mode`
  long mode;
  long padding_mode;
  bool keyed;
};

CipherObject* as_cipher(PyObject* self) { return reinterpret_cast<CipherObject*>(self); }

// An int argument as a long; one too large for a long reads as -1, which no
// parameter allows, so it gets the same ValueError as any other bad value.
// False with TypeError set for an object that is not an integer.
bool read_long(PyObject* obj, long& value) {
  value = PyLong_AsLong(obj);
  if (value != -1 || !PyErr_Occurred()) return true;
  if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
  PyErr_Clear();
  return true;
}

bool parse_mode(PyObject* obj, const char* function, long& mode) {
  long value;
  if (!read_long(obj, value)) return false;
  if (value != kEncrypt && value != kDecrypt) {
    PyErr_Format(PyExc_ValueError, "%s: mode must be SM4_ENCRYPT (0) or SM4_DECRYPT (1), got %R", function,
                 obj);
    return false;
  }
  mode = value;
  return true;
}

bool parse_padding(PyObject* obj, long& padding) {
  long value;
  if (!read_long(obj, value)) return false;
  if (value != kPkcs7 && value != kZero) {
    PyErr_Format(PyExc_ValueError, "CryptSM4(): padding_mode must be PKCS7 (0) or ZERO (1), got %R", obj);
    return false;
  }
  padding = value;
  return true;
}

// A bytes-like argument of exactly 16 bytes (key or IV).
bool read_block_argument(PyObject* obj, const char* function, const char* name, ByteView& view) {
  return view.acquire(obj) && kyber_alg::check_size(view, function, name, sm4::kBlockSize);
}

bool require_key(CipherObject* self, const char* function) {
  if (self->keyed) return true;
  PyErr_Format(PyExc_ValueError, "%s: no key set; call set_key(key, mode) first", function);
  return false;
}

// --- encryption and decryption --------------------------------------------

enum class Chaining { ecb, cbc };

// The padded message is laid out in `out` and encrypted there in one call
// (ecb and cbc_encrypt work in place).
void encrypt_into(const sm4::RoundKeys& keys, Chaining chaining, uint8_t iv[sm4::kBlockSize],
                  const uint8_t* in, std::size_t len, sm4::Padding padding, uint8_t* out) {
  const std::size_t whole = len - len % sm4::kBlockSize;
  std::memcpy(out, in, whole);
  sm4::pad_last_block(in, len, padding, out + whole);
  const std::size_t blocks = whole / sm4::kBlockSize + 1;
  if (chaining == Chaining::cbc)
    sm4::cbc_encrypt(keys, iv, out, out, blocks);
  else
    sm4::ecb(keys, out, out, blocks);
}

PyObject* encrypt(const sm4::RoundKeys& keys, Chaining chaining, uint8_t iv[sm4::kBlockSize],
                  const ByteView& data, sm4::Padding padding) {
  const auto len = static_cast<std::size_t>(data.size());
  Ref out = Ref::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(sm4::padded_size(len))));
  if (!out) return nullptr;
  auto* out_bytes = reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(out.get()));
  kyber_alg::without_gil_if(len >= kyber_alg::kReleaseGilMinSize,
                            [&] { encrypt_into(keys, chaining, iv, data.data(), len, padding, out_bytes); });
  return out.release();
}

// CBC decryption reads each ciphertext block twice: to decrypt it, and as the
// chaining value of the next. The caller's buffer is therefore copied a chunk
// at a time and decrypted from the copy, so that another thread changing a
// bytearray meanwhile cannot make the result match no state of it.
void cbc_decrypt_from_copies(const sm4::RoundKeys& keys, uint8_t iv[sm4::kBlockSize], const uint8_t* in,
                             uint8_t* out, std::size_t blocks) {
  constexpr std::size_t kChunkBlocks = 256;
  uint8_t chunk[kChunkBlocks * sm4::kBlockSize];
  for (std::size_t done = 0; done < blocks;) {
    const std::size_t n = std::min(blocks - done, kChunkBlocks);
    std::memcpy(chunk, in + done * sm4::kBlockSize, n * sm4::kBlockSize);
    sm4::cbc_decrypt(keys, iv, chunk, out + done * sm4::kBlockSize, n);
    done += n;
  }
}

PyObject* decrypt(const sm4::RoundKeys& keys, Chaining chaining, uint8_t iv[sm4::kBlockSize],
                  const ByteView& data, sm4::Padding padding, const char* function) {
  const auto len = static_cast<std::size_t>(data.size());
  if (len == 0 || len % sm4::kBlockSize != 0) {
    PyErr_Format(PyExc_ValueError,
                 "%s: ciphertext must be a nonzero multiple of 16 bytes long, got %zu bytes", function, len);
    return nullptr;
  }
  Ref out = Ref::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(len)));
  if (!out) return nullptr;
  auto* plain = reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(out.get()));
  std::size_t pad = 0;
  kyber_alg::without_gil_if(len >= kyber_alg::kReleaseGilMinSize, [&] {
    if (chaining == Chaining::cbc)
      cbc_decrypt_from_copies(keys, iv, data.data(), plain, len / sm4::kBlockSize);
    else
      sm4::ecb(keys, data.data(), plain, len / sm4::kBlockSize);
    pad = sm4::padding_length(plain, len, padding);
  });
  if (pad == 0) {
    kyber_alg::ct::wipe(plain, len);
    PyErr_Format(PyExc_ValueError,
                 "%s: decryption failed: the padding is not valid (wrong key, or a damaged "
                 "or truncated ciphertext)",
                 function);
    return nullptr;
  }
  kyber_alg::ct::wipe(plain + (len - pad), pad);
  PyObject* result = out.release();
  if (_PyBytes_Resize(&result, static_cast<Py_ssize_t>(len - pad)) < 0) return nullptr;
  return result;
}

// --- the CryptSM4 type ----------------------------------------------------

PyObject* cipher_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"mode", "padding_mode", nullptr};
  PyObject *mode_obj = nullptr, *padding_obj = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO:CryptSM4", const_cast<char**>(keywords), &mode_obj,
                                   &padding_obj))
    return nullptr;
  long mode = kEncrypt, padding = kPkcs7;
  if (mode_obj && !parse_mode(mode_obj, "CryptSM4()", mode)) return nullptr;
  if (padding_obj && !parse_padding(padding_obj, padding)) return nullptr;
  Ref self = Ref::steal(type->tp_alloc(type, 0));
  if (!self) return nullptr;
  as_cipher(self.get())->mode = mode;
  as_cipher(self.get())->padding_mode = padding;
  return self.release();
}

void cipher_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  kyber_alg::ct::wipe_object(as_cipher(self)->keys);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* cipher_set_key(PyObject* op, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"key", "mode"};
  PyObject* bound[2];
  if (!kyber_alg::bind_arguments("set_key()", names, 2, args, nargs, kwnames, bound)) return nullptr;
  PyObject *key_obj = bound[0], *mode_obj = bound[1];
  CipherObject* self = as_cipher(op);
  ByteView key;
  if (!read_block_argument(key_obj, "set_key()", "key", key)) return nullptr;
  long mode;
  if (!parse_mode(mode_obj, "set_key()", mode)) return nullptr;
  kyber_alg::ct::Wiped<sm4::RoundKeys> schedule;
  sm4::expand_key(key.data(), schedule.value);
  if (mode == kDecrypt)
    sm4::reverse_keys(schedule.value, self->keys);
  else
    self->keys = schedule.value;
  self->mode = mode;
  self->keyed = true;
  Py_RETURN_NONE;
}

PyObject* crypt(CipherObject* self, Chaining chaining, uint8_t iv[sm4::kBlockSize], PyObject* data_obj,
                sm4::Padding padding, const char* function) {
  if (!require_key(self, function)) return nullptr;
  ByteView data;
  if (!data.acquire(data_obj)) return nullptr;
  auto run = [&](const sm4::RoundKeys& keys) {
    if (self->mode == kEncrypt) return encrypt(keys, chaining, iv, data, padding);
    return decrypt(keys, chaining, iv, data, padding, function);
  };
  // A short input is processed with the GIL held throughout, so the object's
  // own schedule cannot change under it and needs no copy.
  if (static_cast<std::size_t>(data.size()) < kyber_alg::kReleaseGilMinSize) return run(self->keys);
  kyber_alg::ct::Wiped<sm4::RoundKeys> keys_copy;
  keys_copy.value = self->keys;
  return run(keys_copy.value);
}

PyObject* cipher_crypt_ecb(PyObject* op, PyObject* data) {
  CipherObject* self = as_cipher(op);
  const auto padding = self->padding_mode == kZero ? sm4::Padding::zero : sm4::Padding::pkcs7;
  return crypt(self, Chaining::ecb, nullptr, data, padding, "crypt_ecb()");
}

PyObject* cipher_crypt_cbc(PyObject* op, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"iv", "input_data"};
  PyObject* bound[2];
  if (!kyber_alg::bind_arguments("crypt_cbc()", names, 2, args, nargs, kwnames, bound)) return nullptr;
  PyObject *iv_obj = bound[0], *data_obj = bound[1];
  CipherObject* self = as_cipher(op);
  if (!require_key(self, "crypt_cbc()")) return nullptr;
  ByteView iv_view;
  if (!read_block_argument(iv_obj, "crypt_cbc()", "iv", iv_view)) return nullptr;
  uint8_t iv[sm4::kBlockSize];
  std::memcpy(iv, iv_view.data(), sizeof iv);
  // CBC always uses PKCS#7, whatever padding_mode says (as gmssl does).
  return crypt(self, Chaining::cbc, iv, data_obj, sm4::Padding::pkcs7, "crypt_cbc()");
}

PyObject* cipher_mode(PyObject* self, void*) { return PyLong_FromLong(as_cipher(self)->mode); }
PyObject* cipher_padding_mode(PyObject* self, void*) {
  return PyLong_FromLong(as_cipher(self)->padding_mode);
}

PyMethodDef cipher_methods[] = {
    {"set_key", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(cipher_set_key)),
     METH_FASTCALL | METH_KEYWORDS,
     "set_key($self, key, mode)\n--\n\n"
     "Key the cipher with the 16-byte key for mode SM4_ENCRYPT or SM4_DECRYPT.\n"
     "Raises ValueError for a key that is not 16 bytes long or an unknown mode."},
    {"crypt_ecb", cipher_crypt_ecb, METH_O,
     "crypt_ecb($self, input_data, /)\n--\n\n"
     "Encrypt (with padding_mode's padding) or decrypt (removing it) in ECB mode.\n"
     "Decryption raises ValueError if the input is empty or not a multiple of 16\n"
     "bytes, or if the padding is not valid."},
    {"crypt_cbc", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(cipher_crypt_cbc)),
     METH_FASTCALL | METH_KEYWORDS,
     "crypt_cbc($self, iv, input_data)\n--\n\n"
     "Encrypt with PKCS#7 padding, or decrypt and check and remove it, in CBC mode\n"
     "with the 16-byte iv. Decryption raises ValueError if the input is empty or not\n"
     "a multiple of 16 bytes, or if the padding is not valid (checked in constant time)."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef cipher_getset[] = {
    {"mode", cipher_mode, nullptr, "SM4_ENCRYPT or SM4_DECRYPT: the direction the last set_key() chose.",
     nullptr},
    {"padding_mode", cipher_padding_mode, nullptr, "PKCS7 or ZERO: the padding crypt_ecb() uses.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyDoc_STRVAR(cipher_doc,
             "CryptSM4(mode=SM4_ENCRYPT, padding_mode=PKCS7)\n--\n\n"
             "SM4 cipher (GB/T 32907-2016) with the interface of gmssl.sm4.CryptSM4.\n\n"
             "Call set_key(key, mode) before crypt_ecb() or crypt_cbc(). Inputs are\n"
             "bytes-like objects; results are bytes. Key schedules are wiped when the\n"
             "object is destroyed; large inputs are processed with the GIL released.");

PyType_Slot cipher_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(cipher_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(cipher_dealloc)},
    {Py_tp_methods, cipher_methods},
    {Py_tp_getset, cipher_getset},
    {Py_tp_doc, const_cast<char*>(cipher_doc)},
    {0, nullptr},
};

PyType_Spec cipher_spec = {
    .name = "kyber_alg.sm.sm4.CryptSM4",
    .basicsize = sizeof(CipherObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = cipher_slots,
};

using Paths = kyber_alg::DispatchFunctions<sm4::Kernels, sm4::kernels>;

int module_exec(PyObject* module) {
  ModuleState* state = StateSlots::state(module);
  if (!kyber_alg::add_type(module, cipher_spec, state->cipher_type)) return -1;
  if (PyModule_AddIntConstant(module, "SM4_ENCRYPT", kEncrypt) < 0) return -1;
  if (PyModule_AddIntConstant(module, "SM4_DECRYPT", kDecrypt) < 0) return -1;
  if (PyModule_AddIntConstant(module, "PKCS7", kPkcs7) < 0) return -1;
  if (PyModule_AddIntConstant(module, "ZERO", kZero) < 0) return -1;
  return 0;
}

PyDoc_STRVAR(module_doc,
             "SM4 block cipher (GB/T 32907-2016), native and constant-time: a stand-in for gmssl.sm4.\n\n"
             "CryptSM4(mode=SM4_ENCRYPT, padding_mode=PKCS7) with set_key(key, mode),\n"
             "crypt_ecb(input_data) and crypt_cbc(iv, input_data).");

PyModuleDef module_def =
    kyber_alg::module_definition<StateSlots, module_exec>("kyber_alg.sm.sm4", module_doc, Paths::methods);

}  // namespace

PyMODINIT_FUNC PyInit_sm4(void) { return PyModuleDef_Init(&module_def); }
