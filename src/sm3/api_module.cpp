// The Python module kyber_alg._sm3 behind kyber_alg.sm3: HMAC-SM3,
// PBKDF2-HMAC-SM3, HKDF-SM3 and the SM2 key derivation function.
// Multi-phase initialisation (PEP 489).
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
#include "common/hex.hpp"
#include "common/module_def.hpp"
#include "common/object_lock.hpp"
#include "common/ref.hpp"
#include "sm3/hkdf.hpp"
#include "sm3/hmac.hpp"
#include "sm3/kdf.hpp"
#include "sm3/kernels.hpp"
#include "sm3/pbkdf2.hpp"
#include "sm3/sm3.hpp"

namespace sm3 = kyber_alg::sm3;
using kyber_alg::ByteView;
using kyber_alg::read_bytes;
using kyber_alg::read_optional_bytes;
using kyber_alg::Ref;
using kyber_alg::size_of;

namespace {

struct ModuleState {
  PyObject* hmac_type;
  PyObject* hash_type;  // kyber_alg.sm.SM3.SM3, which sm3() makes
};

using StateSlots = kyber_alg::ModuleStateSlots<&ModuleState::hmac_type, &ModuleState::hash_type>;

// A length argument: an int in [minimum, maximum].
bool read_length(PyObject* obj, const char* function, const char* name, std::size_t minimum,
                 std::size_t maximum, std::size_t& out) {
  if (!PyLong_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "%s: %s must be an int, not '%.100s'", function, name,
                 Py_TYPE(obj)->tp_name);
    return false;
  }
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(obj, &overflow);
  if (value == -1 && PyErr_Occurred()) return false;
  if (overflow != 0 || value < static_cast<long long>(minimum) ||
      static_cast<unsigned long long>(value) > maximum) {
    PyErr_Format(PyExc_ValueError, "%s: %s must be from %zu to %zu, got %R", function, name, minimum, maximum,
                 obj);
    return false;
  }
  out = static_cast<std::size_t>(value);
  return true;
}

Ref new_bytes(std::size_t len) {
  return Ref::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(len)));
}

uint8_t* bytes_data(const Ref& bytes) { return reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(bytes.get())); }

// A private copy of a caller's buffer, for work that reads an input more than
// once with the GIL released (another thread may change a bytearray).
class Copy {
 public:
  Copy() = default;
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;
  ~Copy() {
    if (data_) {
      kyber_alg::ct::wipe(data_, size_);
      PyMem_Free(data_);
    }
  }

  bool take(const ByteView& view) {
    size_ = size_of(view);
    data_ = static_cast<uint8_t*>(PyMem_Malloc(size_ ? size_ : 1));
    if (!data_) {
      PyErr_NoMemory();
      return false;
    }
    if (size_ > 0) std::memcpy(data_, view.data(), size_);  // an absent input has no pointer
    return true;
  }

  const uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

constexpr std::size_t kMaxLength = PY_SSIZE_T_MAX;

// --- HMAC ------------------------------------------------------------------------

PyObject* hmac_sm3(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"key", "msg"};
  PyObject* bound[2];
  ByteView key, msg;
  if (!kyber_alg::bind_arguments("hmac_sm3()", names, 2, args, nargs, kwnames, bound) ||
      !read_bytes(bound[0], "hmac_sm3()", "key", key) || !read_bytes(bound[1], "hmac_sm3()", "msg", msg))
    return nullptr;
  Ref out = new_bytes(sm3::kDigestSize);
  if (!out) return nullptr;
  uint8_t* tag = bytes_data(out);
  // Key and message are each read once.
  kyber_alg::without_gil_if(size_of(key) + size_of(msg) >= kyber_alg::kReleaseGilMinSize, [&] {
    kyber_alg::ct::Wiped<sm3::HmacKey> hmac_key;
    sm3::hmac_init(hmac_key.value, key.data(), size_of(key));
    sm3::hmac(hmac_key.value, msg.data(), size_of(msg), tag);
  });
  return out.release();
}

// --- the keyed HMAC object -------------------------------------------------------

// HMAC(key, msg=None): keyed once (both key blocks compressed), then copied
// for each message, as hmac.new(key, digestmod=...).copy() is.
struct HmacObject {
  PyObject_HEAD sm3::HmacKey key;  // the states after K0 ^ ipad and K0 ^ opad
  sm3::State inner;                // key.inner and the message so far
  kyber_alg::ObjectLock lock;
};

HmacObject* as_hmac(PyObject* self) { return reinterpret_cast<HmacObject*>(self); }

HmacObject* allocate_hmac(PyTypeObject* type) {
  HmacObject* self = PyObject_New(HmacObject, type);
  if (self) self->lock.handle = nullptr;
  return self;
}

PyObject* hmac_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"key", "msg", nullptr};
  PyObject *key_obj, *msg_obj = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O:HMAC", const_cast<char**>(keywords), &key_obj,
                                   &msg_obj))
    return nullptr;
  ByteView key, msg;
  if (!read_bytes(key_obj, "HMAC()", "key", key) || !read_optional_bytes(msg_obj, "HMAC()", "msg", msg))
    return nullptr;
  Ref self = Ref::steal(reinterpret_cast<PyObject*>(allocate_hmac(type)));
  if (!self) return nullptr;
  HmacObject* h = as_hmac(self.get());
  // No other thread sees the new object yet: no lock. Key and message are each read once.
  kyber_alg::without_gil_if(size_of(key) + size_of(msg) >= kyber_alg::kReleaseGilMinSize, [&] {
    sm3::hmac_init(h->key, key.data(), size_of(key));
    h->inner = h->key.inner;
    if (size_of(msg) > 0) sm3::update(h->inner, msg.data(), size_of(msg));
  });
  return self.release();
}

void hmac_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  kyber_alg::ct::wipe_object(as_hmac(self)->key);
  kyber_alg::ct::wipe_object(as_hmac(self)->inner);
  as_hmac(self)->lock.free();
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* hmac_update(PyObject* self, PyObject* arg) {
  ByteView msg;
  if (!read_bytes(arg, "update()", "msg", msg)) return nullptr;
  HmacObject* h = as_hmac(self);
  if (!kyber_alg::run_locked(h->lock, size_of(msg), [&] { sm3::update(h->inner, msg.data(), size_of(msg)); }))
    return nullptr;
  Py_RETURN_NONE;
}

void hmac_current(HmacObject* h, uint8_t out[sm3::kDigestSize]) {
  h->lock.acquire();
  sm3::hmac_finish(h->key, h->inner, out);
  h->lock.release();
}

PyObject* hmac_digest(PyObject* self, PyObject*) {
  Ref out = new_bytes(sm3::kDigestSize);
  if (out) hmac_current(as_hmac(self), bytes_data(out));
  return out.release();
}

PyObject* hmac_hexdigest(PyObject* self, PyObject*) {
  uint8_t tag[sm3::kDigestSize];
  hmac_current(as_hmac(self), tag);
  Ref text = Ref::steal(PyUnicode_New(2 * sm3::kDigestSize, 127));
  if (text) kyber_alg::hex::encode(static_cast<char*>(PyUnicode_DATA(text.get())), tag, sizeof tag);
  return text.release();
}

PyObject* hmac_copy(PyObject* self, PyObject*) {
  HmacObject* copy = allocate_hmac(Py_TYPE(self));
  if (!copy) return nullptr;
  HmacObject* h = as_hmac(self);
  h->lock.acquire();
  copy->key = h->key;
  copy->inner = h->inner;
  h->lock.release();
  return reinterpret_cast<PyObject*>(copy);
}

PyObject* hmac_name(PyObject*, void*) { return PyUnicode_FromString("hmac-sm3"); }
PyObject* hmac_digest_size(PyObject*, void*) { return PyLong_FromSize_t(sm3::kDigestSize); }
PyObject* hmac_block_size(PyObject*, void*) { return PyLong_FromSize_t(sm3::kBlockSize); }

PyMethodDef hmac_methods[] = {
    {"update", hmac_update, METH_O, "update($self, msg, /)\n--\n\nAdd the bytes of msg to the message."},
    {"digest", hmac_digest, METH_NOARGS,
     "digest($self, /)\n--\n\nThe 32-byte HMAC of the message so far; the object can still be updated."},
    {"hexdigest", hmac_hexdigest, METH_NOARGS,
     "hexdigest($self, /)\n--\n\nThe HMAC as 64 lower-case hexadecimal characters."},
    {"copy", hmac_copy, METH_NOARGS,
     "copy($self, /)\n--\n\nAn independent copy: the key is not processed again."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef hmac_getset[] = {
    {"name", hmac_name, nullptr, "'hmac-sm3'.", nullptr},
    {"digest_size", hmac_digest_size, nullptr, "Size of the MAC in bytes: 32.", nullptr},
    {"block_size", hmac_block_size, nullptr, "Size of SM3's message block in bytes: 64.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot hmac_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(hmac_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(hmac_dealloc)},
    {Py_tp_methods, hmac_methods},
    {Py_tp_getset, hmac_getset},
    {Py_tp_doc, const_cast<char*>("HMAC(key, msg=None)\n--\n\n"
                                  "HMAC-SM3 object with the interface of hmac.HMAC: keyed once, then\n"
                                  "copy() per message without processing the key again.")},
    {0, nullptr},
};

PyType_Spec hmac_spec = {
    .name = "kyber_alg._sm3.HMAC",
    .basicsize = sizeof(HmacObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = hmac_slots,
};

// --- sm3() -------------------------------------------------------------------------

// sm3(data=b'', *, usedforsecurity=True): the SM3 object, without a Python frame around its constructor.
PyObject* sm3_new(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"data", "usedforsecurity"};
  PyObject* bound[2];
  if (nargs > 1) {
    PyErr_Format(PyExc_TypeError, "sm3() takes from 0 to 1 positional arguments but %zd were given", nargs);
    return nullptr;
  }
  if (!kyber_alg::bind_arguments("sm3()", names, 0, args, nargs, kwnames, bound)) return nullptr;
  PyObject* type = StateSlots::state(module)->hash_type;
  return PyObject_Vectorcall(type, bound, bound[0] ? 1 : 0, nullptr);
}

int module_exec(PyObject* module) {
  ModuleState* state = StateSlots::state(module);
  if (!kyber_alg::add_type(module, hmac_spec, state->hmac_type)) return -1;
  Ref hash_module = Ref::steal(PyImport_ImportModule("kyber_alg.sm.SM3"));
  if (!hash_module) return -1;
  state->hash_type = PyObject_GetAttrString(hash_module.get(), "SM3");
  return state->hash_type ? 0 : -1;
}

// --- PBKDF2 ------------------------------------------------------------------------

PyObject* pbkdf2_hmac_sm3(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const char* function = "pbkdf2_hmac_sm3()";
  static const char* const names[] = {"password", "salt", "iterations", "dklen"};
  PyObject* bound[4];
  ByteView password, salt;
  std::size_t iterations, dklen = sm3::kDigestSize;
  if (!kyber_alg::bind_arguments(function, names, 3, args, nargs, kwnames, bound) ||
      !read_bytes(bound[0], function, "password", password) ||
      !read_bytes(bound[1], function, "salt", salt) ||
      !read_length(bound[2], function, "iterations", 1, UINT32_MAX, iterations))
    return nullptr;
  if (bound[3] && bound[3] != Py_None &&
      !read_length(bound[3], function, "dklen", 1, std::min<std::size_t>(kMaxLength, 0xffffffffull * 32),
                   dklen))
    return nullptr;
  Ref out = new_bytes(dklen);
  if (!out) return nullptr;
  uint8_t* dk = bytes_data(out);
  const bool release = iterations * (dklen / sm3::kDigestSize + 1) >= 16 || size_of(salt) >= 1024;
  if (!release) {
    sm3::pbkdf2_hmac(password.data(), size_of(password), salt.data(), size_of(salt), iterations, dk, dklen);
    return out.release();
  }
  // Each output block hashes the salt again: both inputs are copied first.
  Copy password_copy, salt_copy;
  if (!password_copy.take(password) || !salt_copy.take(salt)) return nullptr;
  kyber_alg::without_gil([&] {
    sm3::pbkdf2_hmac(password_copy.data(), password_copy.size(), salt_copy.data(), salt_copy.size(),
                     iterations, dk, dklen);
  });
  return out.release();
}

// --- HKDF ------------------------------------------------------------------------

// Expand with the GIL released for long outputs: info is read once per
// output block, so it is copied first.
bool expand(const uint8_t* prk, std::size_t prk_len, const ByteView& info, uint8_t* out, std::size_t len) {
  if (len < 1024 && size_of(info) < kyber_alg::kReleaseGilMinSize) {
    sm3::hkdf_expand(prk, prk_len, info.data(), size_of(info), out, len);
    return true;
  }
  Copy info_copy;
  if (!info_copy.take(info)) return false;
  kyber_alg::without_gil(
      [&] { sm3::hkdf_expand(prk, prk_len, info_copy.data(), info_copy.size(), out, len); });
  return true;
}

void extract(const ByteView& salt, const ByteView& ikm, uint8_t prk[sm3::kDigestSize]) {
  kyber_alg::without_gil_if(size_of(salt) + size_of(ikm) >= kyber_alg::kReleaseGilMinSize, [&] {
    sm3::hkdf_extract(salt.data(), size_of(salt), ikm.data(), size_of(ikm), prk);
  });
}

PyObject* hkdf_sm3(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const char* function = "hkdf_sm3()";
  static const char* const names[] = {"ikm", "salt", "info", "length"};
  PyObject* bound[4];
  ByteView ikm, salt, info;
  std::size_t length;
  if (!kyber_alg::bind_arguments(function, names, 4, args, nargs, kwnames, bound) ||
      !read_bytes(bound[0], function, "ikm", ikm) || !read_optional_bytes(bound[1], function, "salt", salt) ||
      !read_optional_bytes(bound[2], function, "info", info) ||
      !read_length(bound[3], function, "length", 1, sm3::kHkdfMaxLength, length))
    return nullptr;
  Ref out = new_bytes(length);
  if (!out) return nullptr;
  kyber_alg::ct::Wiped<uint8_t[sm3::kDigestSize]> prk;
  extract(salt, ikm, prk.value);
  if (!expand(prk.value, sm3::kDigestSize, info, bytes_data(out), length)) return nullptr;
  return out.release();
}

PyObject* hkdf_sm3_extract(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const char* function = "hkdf_sm3_extract()";
  static const char* const names[] = {"salt", "ikm"};
  PyObject* bound[2];
  ByteView salt, ikm;
  if (!kyber_alg::bind_arguments(function, names, 2, args, nargs, kwnames, bound) ||
      !read_optional_bytes(bound[0], function, "salt", salt) || !read_bytes(bound[1], function, "ikm", ikm))
    return nullptr;
  Ref out = new_bytes(sm3::kDigestSize);
  if (!out) return nullptr;
  extract(salt, ikm, bytes_data(out));
  return out.release();
}

PyObject* hkdf_sm3_expand(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const char* function = "hkdf_sm3_expand()";
  static const char* const names[] = {"prk", "info", "length"};
  PyObject* bound[3];
  ByteView prk, info;
  std::size_t length;
  if (!kyber_alg::bind_arguments(function, names, 3, args, nargs, kwnames, bound) ||
      !read_bytes(bound[0], function, "prk", prk) || !read_optional_bytes(bound[1], function, "info", info) ||
      !read_length(bound[2], function, "length", 1, sm3::kHkdfMaxLength, length))
    return nullptr;
  if (size_of(prk) < sm3::kDigestSize) {
    PyErr_Format(PyExc_ValueError, "%s: prk must be at least 32 bytes long, got %zd", function, prk.size());
    return nullptr;
  }
  Ref out = new_bytes(length);
  if (!out) return nullptr;
  // The key is taken once, before any GIL-free work; HMAC would hash one
  // longer than a block, so that is done here.
  kyber_alg::ct::Wiped<uint8_t[sm3::kBlockSize]> key;
  std::size_t key_len = size_of(prk);
  if (key_len > sm3::kBlockSize) {
    sm3::hash(prk.data(), key_len, key.value);
    key_len = sm3::kDigestSize;
  } else {
    std::memcpy(key.value, prk.data(), key_len);
  }
  if (!expand(key.value, key_len, info, bytes_data(out), length)) return nullptr;
  return out.release();
}

// --- the SM2 key derivation function ---------------------------------------------

PyObject* kdf(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"z", "klen"};
  PyObject* bound[2];
  ByteView z;
  std::size_t klen;
  // The 32-bit block counter allows (2^32 - 1) blocks.
  if (!kyber_alg::bind_arguments("kdf()", names, 2, args, nargs, kwnames, bound) ||
      !read_bytes(bound[0], "kdf()", "z", z) ||
      !read_length(bound[1], "kdf()", "klen", 0, std::min<std::size_t>(kMaxLength, 0xffffffffull * 32), klen))
    return nullptr;
  Ref out = new_bytes(klen);
  if (!out) return nullptr;
  uint8_t* dst = bytes_data(out);
  // z is hashed once; every block continues from that state.
  kyber_alg::without_gil_if(klen + size_of(z) >= kyber_alg::kReleaseGilMinSize,
                            [&] { sm3::kdf(z.data(), size_of(z), dst, klen); });
  return out.release();
}

using Paths = kyber_alg::DispatchFunctions<sm3::Kernels, sm3::kernels>;

PyMethodDef module_methods[] = {
    Paths::backend_method,
    Paths::available_method,
    Paths::set_method,
    {"sm3", kyber_alg::as_method<sm3_new>(), METH_FASTCALL | METH_KEYWORDS,
     "sm3($module, /, data=b'', *, usedforsecurity=True)\n--\n\n"
     "A new SM3 hash object that has absorbed data (usedforsecurity changes nothing)."},
    {"hmac_sm3", kyber_alg::as_method<hmac_sm3>(), METH_FASTCALL | METH_KEYWORDS,
     "hmac_sm3($module, /, key, msg)\n--\n\nHMAC-SM3 of msg under key: 32 bytes."},
    {"pbkdf2_hmac_sm3", kyber_alg::as_method<pbkdf2_hmac_sm3>(), METH_FASTCALL | METH_KEYWORDS,
     "pbkdf2_hmac_sm3($module, /, password, salt, iterations, dklen=None)\n--\n\n"
     "PBKDF2 (RFC 8018) with HMAC-SM3: dklen bytes (32 if None) after iterations rounds."},
    {"hkdf_sm3", kyber_alg::as_method<hkdf_sm3>(), METH_FASTCALL | METH_KEYWORDS,
     "hkdf_sm3($module, /, ikm, salt, info, length)\n--\n\n"
     "HKDF (RFC 5869) with HMAC-SM3: length bytes (at most 8160) from ikm; salt and info\n"
     "may be None (empty)."},
    {"hkdf_sm3_extract", kyber_alg::as_method<hkdf_sm3_extract>(), METH_FASTCALL | METH_KEYWORDS,
     "hkdf_sm3_extract($module, /, salt, ikm)\n--\n\nHKDF-Extract with HMAC-SM3: the 32-byte PRK."},
    {"hkdf_sm3_expand", kyber_alg::as_method<hkdf_sm3_expand>(), METH_FASTCALL | METH_KEYWORDS,
     "hkdf_sm3_expand($module, /, prk, info, length)\n--\n\n"
     "HKDF-Expand with HMAC-SM3: length bytes (at most 8160) from a PRK of at least 32 bytes."},
    {"kdf", kyber_alg::as_method<kdf>(), METH_FASTCALL | METH_KEYWORDS,
     "kdf($module, /, z, klen)\n--\n\n"
     "The key derivation function of GB/T 32918.4 (SM2) with SM3: klen bytes from z."},
    {nullptr, nullptr, 0, nullptr},
};

PyDoc_STRVAR(module_doc,
             "SM3-based MAC and key derivation, native: HMAC-SM3, PBKDF2-HMAC-SM3, HKDF-SM3 and the\n"
             "SM2 KDF (the implementation of kyber_alg.sm3).");

PyModuleDef module_def =
    kyber_alg::module_definition<StateSlots, module_exec>("kyber_alg._sm3", module_doc, module_methods);

}  // namespace

PyMODINIT_FUNC PyInit__sm3(void) { return PyModuleDef_Init(&module_def); }
