// The Python module kyber_alg._sm4 behind kyber_alg.sm4: SM4-GCM and SM4-CCM
// in the shape of cryptography's AEAD classes, streaming SM4-CTR, and ECB and
// CBC with a choice of padding. Multi-phase initialisation (PEP 489).
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstring>

#include "common/args.hpp"
#include "common/buffer.hpp"
#include "common/ct.hpp"
#include "common/dispatch_functions.hpp"
#include "common/gil.hpp"
#include "common/module_def.hpp"
#include "common/object_lock.hpp"
#include "common/os_random.hpp"
#include "common/ref.hpp"
#include "sm4/ccm.hpp"
#include "sm4/ctr.hpp"
#include "sm4/gcm.hpp"
#include "sm4/kernels.hpp"
#include "sm4/padding.hpp"
#include "sm4/sm4.hpp"

namespace sm4 = kyber_alg::sm4;
using kyber_alg::ByteView;
using kyber_alg::read_bytes;
using kyber_alg::read_optional_bytes;
using kyber_alg::read_sized;
using kyber_alg::Ref;
using kyber_alg::size_of;

namespace {

enum TypeIndex { kGcmType, kCcmType, kCtrType, kEcbType, kCbcType, kTypeCount };

struct ModuleState {
  PyObject* types[kTypeCount];
  PyObject* invalid_tag;  // kyber_alg.exceptions.InvalidTag
};

using StateSlots = kyber_alg::ModuleStateSlots<&ModuleState::types, &ModuleState::invalid_tag>;

// Every type here is final, so an instance's type is the module's own.
ModuleState* state_of(PyObject* self) {
  return static_cast<ModuleState*>(PyType_GetModuleState(Py_TYPE(self)));
}

PyObject* raise_invalid_tag(PyObject* self) {
  PyErr_SetString(state_of(self)->invalid_tag,
                  "authentication failed: the ciphertext, tag, nonce or associated data was changed, or the "
                  "key is wrong");
  return nullptr;
}

// --- arguments --------------------------------------------------------------

uint8_t* bytes_data(const Ref& bytes) { return reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(bytes.get())); }

Ref new_bytes(std::size_t len) {
  return Ref::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(len)));
}

// Shrinks a new bytes object that no one else has seen yet.
PyObject* shrink(Ref& bytes, std::size_t len) {
  PyObject* result = bytes.release();
  if (_PyBytes_Resize(&result, static_cast<Py_ssize_t>(len)) < 0) return nullptr;
  return result;
}

bool large(std::size_t len) { return len >= kyber_alg::kReleaseGilMinSize; }

// generate_key(bit_length=128): SM4 has one key size.
PyObject* generate_key(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"bit_length"};
  PyObject* bound[1];
  if (!kyber_alg::bind_arguments("generate_key()", names, 0, args, nargs, kwnames, bound)) return nullptr;
  if (bound[0]) {
    const long bits = PyLong_AsLong(bound[0]);
    if (bits == -1 && PyErr_Occurred()) return nullptr;
    if (bits != 128) {
      PyErr_Format(PyExc_ValueError,
                   "generate_key(): bit_length must be 128 (SM4 keys are 16 bytes), got %ld", bits);
      return nullptr;
    }
  }
  Ref key = new_bytes(sm4::kKeySize);
  if (!key) return nullptr;
  if (!kyber_alg::os_random(bytes_data(key), sm4::kKeySize)) return PyErr_SetFromErrno(PyExc_OSError);
  return key.release();
}

const PyMethodDef kGenerateKeyMethod = {
    "generate_key", kyber_alg::as_method<generate_key>(), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
    "generate_key(bit_length=128)\n--\n\nA new random 16-byte key from the operating system (getrandom)."};

// The arguments of encrypt() and decrypt() of both AEAD classes.
struct AeadArguments {
  ByteView nonce, data, ad;
};

bool bind_aead(const char* function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               AeadArguments& a) {
  static const char* const names[] = {"nonce", "data", "associated_data"};
  PyObject* bound[3];
  return kyber_alg::bind_arguments(function, names, 2, args, nargs, kwnames, bound) &&
         read_bytes(bound[0], function, "nonce", a.nonce) && read_bytes(bound[1], function, "data", a.data) &&
         read_optional_bytes(bound[2], function, "associated_data", a.ad);
}

// --- SM4GCM and SM4CCM -------------------------------------------------------------

// The encrypt() and decrypt() of both classes, over a Mode that provides the
// size checks (len 0: the nonce and associated data only), the tag length,
// seal(), which writes ciphertext and tag to out reading a.data once, and
// open() on a private copy of the ciphertext.

// prefix, then the ciphertext and tag, in one new bytes object.
template <class Mode>
PyObject* seal_after(PyObject* self, const AeadArguments& a, const ByteView& prefix, const char* function) {
  const std::size_t len = size_of(a.data);
  if (!Mode::sizes_ok(a, len, function)) return nullptr;
  const std::size_t head = size_of(prefix);
  Ref out = new_bytes(head + len + Mode::tag_length(self));
  if (!out) return nullptr;
  uint8_t* sealed = bytes_data(out);
  if (head) std::memcpy(sealed, prefix.data(), head);  // GIL held: one read
  kyber_alg::without_gil_if(large(len + size_of(a.ad)), [&] { Mode::seal(self, a, sealed + head, len); });
  return out.release();
}

template <class Mode>
PyObject* aead_encrypt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  AeadArguments a;
  if (!bind_aead("encrypt()", args, nargs, kwnames, a)) return nullptr;
  return seal_after<Mode>(self, a, ByteView(), "encrypt()");
}

// _encrypt_prefixed(prefix, nonce, data, associated_data=None): prefix + encrypt(...), for formats
// that put a header before the sealed body, without a second copy of a large body.
template <class Mode>
PyObject* aead_encrypt_prefixed(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"prefix", "nonce", "data", "associated_data"};
  const char* function = "_encrypt_prefixed()";
  PyObject* bound[4];
  AeadArguments a;
  ByteView prefix;
  if (!kyber_alg::bind_arguments(function, names, 3, args, nargs, kwnames, bound) ||
      !read_bytes(bound[0], function, "prefix", prefix) ||
      !read_bytes(bound[1], function, "nonce", a.nonce) || !read_bytes(bound[2], function, "data", a.data) ||
      !read_optional_bytes(bound[3], function, "associated_data", a.ad))
    return nullptr;
  return seal_after<Mode>(self, a, prefix, function);
}

template <class Mode>
PyObject* aead_decrypt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  AeadArguments a;
  // The nonce is checked before anything is decided on the data.
  if (!bind_aead("decrypt()", args, nargs, kwnames, a) || !Mode::sizes_ok(a, 0, "decrypt()")) return nullptr;
  const std::size_t tag_len = Mode::tag_length(self);
  if (size_of(a.data) < tag_len) return raise_invalid_tag(self);
  const std::size_t len = size_of(a.data) - tag_len;
  if (!Mode::sizes_ok(a, len, "decrypt()")) return nullptr;
  Ref out = new_bytes(len);
  if (!out) return nullptr;
  uint8_t* plain = bytes_data(out);
  bool ok = false;
  // The ciphertext and tag are copied first (one read of the caller's
  // buffer); the tag check and the decryption work on the copy.
  kyber_alg::without_gil_if(large(len + size_of(a.ad)), [&] {
    uint8_t tag[16];
    std::memcpy(plain, a.data.data(), len);
    std::memcpy(tag, a.data.data() + len, tag_len);
    ok = Mode::open(self, a, plain, len, tag);
  });
  if (!ok) return raise_invalid_tag(self);
  return out.release();
}

template <class Mode>
PyMethodDef aead_methods[] = {
    {"encrypt", kyber_alg::as_method<aead_encrypt<Mode>>(), METH_FASTCALL | METH_KEYWORDS, Mode::kEncryptDoc},
    {"decrypt", kyber_alg::as_method<aead_decrypt<Mode>>(), METH_FASTCALL | METH_KEYWORDS,
     "decrypt($self, /, nonce, data, associated_data=None)\n--\n\n"
     "The plaintext of data (ciphertext and tag) if the tag verifies; otherwise raises\n"
     "kyber_alg.exceptions.InvalidTag and releases nothing."},
    {"_encrypt_prefixed", kyber_alg::as_method<aead_encrypt_prefixed<Mode>>(), METH_FASTCALL | METH_KEYWORDS,
     "_encrypt_prefixed($self, /, prefix, nonce, data, associated_data=None)\n--\n\n"
     "prefix followed by encrypt(nonce, data, associated_data), built in one bytes object."},
    kGenerateKeyMethod,
    {nullptr, nullptr, 0, nullptr},
};

void wiping_dealloc(PyObject* self, std::size_t size) {
  PyTypeObject* type = Py_TYPE(self);
  kyber_alg::ct::wipe(reinterpret_cast<uint8_t*>(self) + sizeof(PyObject), size - sizeof(PyObject));
  type->tp_free(self);
  Py_DECREF(type);
}

struct GcmObject {
  PyObject_HEAD sm4::GcmKey key;  // set once by the constructor, read-only after
};

struct Gcm {
  static constexpr const char* kEncryptDoc =
      "encrypt($self, /, nonce, data, associated_data=None)\n--\n\n"
      "The ciphertext of data followed by the 16-byte tag, which also covers associated_data.\n"
      "nonce: at least 1 byte (12 is the usual size); never reuse a nonce with the same key.";

  static const sm4::GcmKey& key(PyObject* self) { return reinterpret_cast<GcmObject*>(self)->key; }
  static std::size_t tag_length(PyObject*) { return sm4::kGcmTagSize; }

  static bool sizes_ok(const AeadArguments& a, std::size_t len, const char* function) {
    if (a.nonce.size() == 0) {
      PyErr_Format(PyExc_ValueError, "%s: nonce must be at least 1 byte long, got 0", function);
      return false;
    }
    if (size_of(a.nonce) > sm4::kGcmMaxInputSize || size_of(a.ad) > sm4::kGcmMaxInputSize ||
        len > sm4::kGcmMaxDataSize) {
      PyErr_Format(PyExc_ValueError, "%s: nonce, data or associated data too long for GCM", function);
      return false;
    }
    return true;
  }

  // Each input is read once: plaintext by the counter mode, nonce and
  // associated data by GHASH, which then reads the ciphertext written here.
  static void seal(PyObject* self, const AeadArguments& a, uint8_t* out, std::size_t len) {
    sm4::gcm_seal(key(self), a.nonce.data(), size_of(a.nonce), a.ad.data(), size_of(a.ad), a.data.data(), len,
                  out);
  }

  static bool open(PyObject* self, const AeadArguments& a, uint8_t* data, std::size_t len,
                   const uint8_t* tag) {
    return sm4::gcm_open(key(self), a.nonce.data(), size_of(a.nonce), a.ad.data(), size_of(a.ad), data, len,
                         tag);
  }
};

PyObject* gcm_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"key", nullptr};
  PyObject* key_obj;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:SM4GCM", const_cast<char**>(keywords), &key_obj))
    return nullptr;
  ByteView key;
  if (!read_sized(key_obj, "SM4GCM()", "key", sm4::kKeySize, key)) return nullptr;
  Ref self = Ref::steal(type->tp_alloc(type, 0));
  if (!self) return nullptr;
  sm4::gcm_init(reinterpret_cast<GcmObject*>(self.get())->key, key.data());
  return self.release();
}

void gcm_dealloc(PyObject* self) { wiping_dealloc(self, sizeof(GcmObject)); }

PyDoc_STRVAR(gcm_doc,
             "SM4GCM(key)\n--\n\n"
             "SM4 in Galois/Counter Mode (NIST SP 800-38D; RFC 8998's AEAD_SM4_GCM) with a 16-byte key\n"
             "and 16-byte tags, in the shape of cryptography's AESGCM.");

PyType_Slot gcm_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(gcm_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(gcm_dealloc)},
    {Py_tp_methods, aead_methods<Gcm>},
    {Py_tp_doc, const_cast<char*>(gcm_doc)},
    {0, nullptr},
};

struct CcmObject {
  PyObject_HEAD sm4::RoundKeys keys;  // read-only after the constructor
  std::size_t tag_len;
};

struct Ccm {
  static constexpr const char* kEncryptDoc =
      "encrypt($self, /, nonce, data, associated_data=None)\n--\n\n"
      "The ciphertext of data followed by the tag (tag_length bytes). nonce: 7 to 13 bytes;\n"
      "a nonce of n bytes allows messages shorter than 2**(8 * (15 - n)) bytes.";

  static CcmObject* object(PyObject* self) { return reinterpret_cast<CcmObject*>(self); }
  static std::size_t tag_length(PyObject* self) { return object(self)->tag_len; }

  static bool sizes_ok(const AeadArguments& a, std::size_t len, const char* function) {
    const std::size_t n = size_of(a.nonce);
    if (!sm4::ccm_nonce_size_valid(n)) {
      PyErr_Format(PyExc_ValueError, "%s: nonce must be 7 to 13 bytes long, got %zu", function, n);
      return false;
    }
    if (!sm4::ccm_length_fits(n, len)) {
      PyErr_Format(PyExc_ValueError, "%s: data too long for a %zu-byte nonce: %zu bytes, at most 2**%zu - 1",
                   function, n, len, 8 * (15 - n));
      return false;
    }
    return true;
  }

  // CCM reads the message and the nonce twice (MAC, then counter mode): it
  // works on copies of both.
  static void seal(PyObject* self, const AeadArguments& a, uint8_t* out, std::size_t len) {
    uint8_t nonce[sm4::kCcmMaxNonce];
    std::memcpy(nonce, a.nonce.data(), size_of(a.nonce));
    std::memcpy(out, a.data.data(), len);
    sm4::ccm_seal(object(self)->keys, nonce, size_of(a.nonce), a.ad.data(), size_of(a.ad), out, len,
                  out + len, tag_length(self));
  }

  static bool open(PyObject* self, const AeadArguments& a, uint8_t* data, std::size_t len,
                   const uint8_t* tag) {
    uint8_t nonce[sm4::kCcmMaxNonce];
    std::memcpy(nonce, a.nonce.data(), size_of(a.nonce));
    return sm4::ccm_open(object(self)->keys, nonce, size_of(a.nonce), a.ad.data(), size_of(a.ad), data, len,
                         tag, tag_length(self));
  }
};

PyObject* ccm_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"key", "tag_length", nullptr};
  PyObject* key_obj;
  Py_ssize_t tag_len = 16;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|n:SM4CCM", const_cast<char**>(keywords), &key_obj,
                                   &tag_len))
    return nullptr;
  ByteView key;
  if (!read_sized(key_obj, "SM4CCM()", "key", sm4::kKeySize, key)) return nullptr;
  if (tag_len < 0 || !sm4::ccm_tag_size_valid(static_cast<std::size_t>(tag_len))) {
    PyErr_Format(PyExc_ValueError, "SM4CCM(): tag_length must be 4, 6, 8, 10, 12, 14 or 16, got %zd",
                 tag_len);
    return nullptr;
  }
  Ref self = Ref::steal(type->tp_alloc(type, 0));
  if (!self) return nullptr;
  sm4::expand_key(key.data(), Ccm::object(self.get())->keys);
  Ccm::object(self.get())->tag_len = static_cast<std::size_t>(tag_len);
  return self.release();
}

void ccm_dealloc(PyObject* self) { wiping_dealloc(self, sizeof(CcmObject)); }

PyDoc_STRVAR(ccm_doc,
             "SM4CCM(key, tag_length=16)\n--\n\n"
             "SM4 in CCM mode (NIST SP 800-38C, RFC 3610; RFC 8998's AEAD_SM4_CCM) with a 16-byte key\n"
             "and tags of tag_length bytes (4 to 16, even), in the shape of cryptography's AESCCM.");

PyType_Slot ccm_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(ccm_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(ccm_dealloc)},
    {Py_tp_methods, aead_methods<Ccm>},
    {Py_tp_doc, const_cast<char*>(ccm_doc)},
    {0, nullptr},
};

// --- SM4CTR -------------------------------------------------------------------

struct CtrObject {
  PyObject_HEAD sm4::CtrStream stream;
  kyber_alg::ObjectLock lock;  // keeps each update() whole when two threads share the object
  bool finalized;
};

CtrObject* as_ctr(PyObject* self) { return reinterpret_cast<CtrObject*>(self); }

PyObject* ctr_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"key", "nonce", nullptr};
  PyObject *key_obj, *nonce_obj;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:SM4CTR", const_cast<char**>(keywords), &key_obj,
                                   &nonce_obj))
    return nullptr;
  ByteView key, nonce;
  if (!read_sized(key_obj, "SM4CTR()", "key", sm4::kKeySize, key) ||
      !read_sized(nonce_obj, "SM4CTR()", "nonce", sm4::kBlockSize, nonce))
    return nullptr;
  Ref self = Ref::steal(type->tp_alloc(type, 0));  // zeroed: no lock yet, not finalized
  if (!self) return nullptr;
  sm4::ctr_stream_init(as_ctr(self.get())->stream, key.data(), nonce.data());
  return self.release();
}

void ctr_dealloc(PyObject* self) {
  as_ctr(self)->lock.free();
  kyber_alg::ct::wipe_object(as_ctr(self)->stream);
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* raise_finalized(const char* function) {
  PyErr_Format(PyExc_ValueError, "%s: this SM4CTR context is finalized", function);
  return nullptr;
}

PyObject* ctr_update(PyObject* self, PyObject* data_obj) {
  if (as_ctr(self)->finalized) return raise_finalized("update()");
  ByteView data;
  if (!read_bytes(data_obj, "update()", "data", data)) return nullptr;
  const std::size_t len = size_of(data);
  Ref out = new_bytes(len);
  if (!out) return nullptr;
  uint8_t* dst = bytes_data(out);
  CtrObject* ctr = as_ctr(self);
  // finalize() may have run in another thread while this one waited for the lock.
  bool finalized = false;
  if (!kyber_alg::run_locked(ctr->lock, len, [&] {
        finalized = ctr->finalized;
        if (!finalized) sm4::ctr_stream_xor(ctr->stream, data.data(), dst, len);
      }))
    return nullptr;
  if (finalized) return raise_finalized("update()");
  return out.release();
}

PyObject* ctr_finalize(PyObject* self, PyObject*) {
  CtrObject* ctr = as_ctr(self);
  ctr->lock.acquire();
  if (ctr->finalized) {
    ctr->lock.release();
    return raise_finalized("finalize()");
  }
  kyber_alg::ct::wipe_object(ctr->stream);
  ctr->finalized = true;
  ctr->lock.release();
  return PyBytes_FromStringAndSize(nullptr, 0);
}

PyMethodDef ctr_methods[] = {
    {"update", ctr_update, METH_O,
     "update($self, data, /)\n--\n\n"
     "data XORed with the next len(data) bytes of keystream: encrypts and decrypts alike.\n"
     "Any split of a message into calls gives the same bytes."},
    {"finalize", ctr_finalize, METH_NOARGS,
     "finalize($self, /)\n--\n\n"
     "Ends the stream: returns b'' (counter mode keeps no partial output), wipes the key\n"
     "schedule, and makes further calls raise ValueError."},
    {nullptr, nullptr, 0, nullptr},
};

PyDoc_STRVAR(ctr_doc,
             "SM4CTR(key, nonce)\n--\n\n"
             "SM4 in counter mode (NIST SP 800-38A) with a 16-byte key and a 16-byte initial counter\n"
             "block, counting as one 128-bit big-endian number (as OpenSSL's SM4-CTR). No integrity:\n"
             "use SM4GCM or SM4CCM unless something else authenticates the data.");

PyType_Slot ctr_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(ctr_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(ctr_dealloc)},
    {Py_tp_methods, ctr_methods},
    {Py_tp_doc, const_cast<char*>(ctr_doc)},
    {0, nullptr},
};

// --- SM4ECB and SM4CBC -----------------------------------------------------------

struct BlockObject {
  PyObject_HEAD sm4::RoundKeys encrypt_keys, decrypt_keys;  // read-only after the constructor
};

BlockObject* as_block(PyObject* self) { return reinterpret_cast<BlockObject*>(self); }

PyObject* block_new(PyTypeObject* type, PyObject* args, PyObject* kwargs, const char* format,
                    const char* function) {
  static const char* keywords[] = {"key", nullptr};
  PyObject* key_obj;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(keywords), &key_obj))
    return nullptr;
  ByteView key;
  if (!read_sized(key_obj, function, "key", sm4::kKeySize, key)) return nullptr;
  Ref self = Ref::steal(type->tp_alloc(type, 0));
  if (!self) return nullptr;
  sm4::expand_key(key.data(), as_block(self.get())->encrypt_keys);
  sm4::reverse_keys(as_block(self.get())->encrypt_keys, as_block(self.get())->decrypt_keys);
  return self.release();
}

PyObject* ecb_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return block_new(type, args, kwargs, "O:SM4ECB", "SM4ECB()");
}

PyObject* cbc_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return block_new(type, args, kwargs, "O:SM4CBC", "SM4CBC()");
}

void block_dealloc(PyObject* self) { wiping_dealloc(self, sizeof(BlockObject)); }

// "pkcs7", "iso9797-1-m2" or "none" (absent: pkcs7).
enum class PaddingChoice { pkcs7, iso9797_m2, none };

bool parse_padding(PyObject* obj, const char* function, PaddingChoice& choice) {
  choice = PaddingChoice::pkcs7;
  if (!obj) return true;
  if (PyUnicode_Check(obj)) {
    if (PyUnicode_CompareWithASCIIString(obj, "pkcs7") == 0) return true;
    if (PyUnicode_CompareWithASCIIString(obj, "iso9797-1-m2") == 0) {
      choice = PaddingChoice::iso9797_m2;
      return true;
    }
    if (PyUnicode_CompareWithASCIIString(obj, "none") == 0) {
      choice = PaddingChoice::none;
      return true;
    }
  }
  PyErr_Format(PyExc_ValueError, "%s: padding must be 'pkcs7', 'iso9797-1-m2' or 'none', got %R", function,
               obj);
  return false;
}

sm4::Padding as_padding(PaddingChoice choice) {
  return choice == PaddingChoice::iso9797_m2 ? sm4::Padding::iso9797_m2 : sm4::Padding::pkcs7;
}

enum class Chaining { ecb, cbc };

PyObject* block_encrypt(const BlockObject* self, Chaining chaining, const uint8_t* iv_in,
                        const ByteView& data, PaddingChoice padding, const char* function) {
  const std::size_t len = size_of(data);
  if (padding == PaddingChoice::none && len % sm4::kBlockSize != 0) {
    PyErr_Format(PyExc_ValueError,
                 "%s: with padding='none' data must be a multiple of 16 bytes long, got %zu", function, len);
    return nullptr;
  }
  const std::size_t whole = len - len % sm4::kBlockSize;
  const std::size_t total = padding == PaddingChoice::none ? len : sm4::padded_size(len);
  Ref out = new_bytes(total);
  if (!out) return nullptr;
  uint8_t* dst = bytes_data(out);
  uint8_t iv[sm4::kBlockSize] = {};
  if (iv_in) std::memcpy(iv, iv_in, sizeof iv);
  // The message is laid out in the output and encrypted there: one read of it.
  kyber_alg::without_gil_if(large(len), [&] {
    std::memcpy(dst, data.data(), whole);
    if (total > whole) sm4::pad_last_block(data.data(), len, as_padding(padding), dst + whole);
    if (chaining == Chaining::cbc)
      sm4::cbc_encrypt(self->encrypt_keys, iv, dst, dst, total / sm4::kBlockSize);
    else
      sm4::ecb(self->encrypt_keys, dst, dst, total / sm4::kBlockSize);
  });
  return out.release();
}

PyObject* block_decrypt(const BlockObject* self, Chaining chaining, const uint8_t* iv_in,
                        const ByteView& data, PaddingChoice padding, const char* function) {
  const std::size_t len = size_of(data);
  if (len % sm4::kBlockSize != 0 || (len == 0 && padding != PaddingChoice::none)) {
    PyErr_Format(PyExc_ValueError, "%s: data must be a %smultiple of 16 bytes long, got %zu", function,
                 padding == PaddingChoice::none ? "" : "nonzero ", len);
    return nullptr;
  }
  Ref out = new_bytes(len);
  if (!out) return nullptr;
  uint8_t* dst = bytes_data(out);
  uint8_t iv[sm4::kBlockSize] = {};
  if (iv_in) std::memcpy(iv, iv_in, sizeof iv);
  std::size_t pad = 0;
  bool no_memory = false;
  kyber_alg::without_gil_if(large(len), [&] {
    const std::size_t blocks = len / sm4::kBlockSize;
    if (chaining == Chaining::ecb) {
      sm4::ecb(self->decrypt_keys, data.data(), dst, blocks);
    } else {
      // CBC decryption reads each ciphertext block twice: from a copy.
      auto* copy = static_cast<uint8_t*>(PyMem_RawMalloc(len ? len : 1));
      if (!copy) {
        no_memory = true;
        return;
      }
      std::memcpy(copy, data.data(), len);
      sm4::cbc_decrypt(self->decrypt_keys, iv, copy, dst, blocks);
      PyMem_RawFree(copy);
    }
    if (padding != PaddingChoice::none) pad = sm4::padding_length(dst, len, as_padding(padding));
  });
  if (no_memory) return PyErr_NoMemory();
  if (padding == PaddingChoice::none) return out.release();
  if (pad == 0) {
    kyber_alg::ct::wipe(dst, len);
    PyErr_Format(PyExc_ValueError,
                 "%s: decryption failed: the padding is not valid (wrong key or padding, or a damaged or "
                 "truncated ciphertext)",
                 function);
    return nullptr;
  }
  kyber_alg::ct::wipe(dst + (len - pad), pad);
  return shrink(out, len - pad);
}

PyObject* ecb_call(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, bool encrypt) {
  const char* function = encrypt ? "encrypt()" : "decrypt()";
  static const char* const names[] = {"data", "padding"};
  PyObject* bound[2];
  ByteView data;
  PaddingChoice padding;
  if (!kyber_alg::bind_arguments(function, names, 1, args, nargs, kwnames, bound) ||
      !read_bytes(bound[0], function, "data", data) || !parse_padding(bound[1], function, padding))
    return nullptr;
  return encrypt ? block_encrypt(as_block(self), Chaining::ecb, nullptr, data, padding, function)
                 : block_decrypt(as_block(self), Chaining::ecb, nullptr, data, padding, function);
}

PyObject* ecb_encrypt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return ecb_call(self, args, nargs, kwnames, true);
}

PyObject* ecb_decrypt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return ecb_call(self, args, nargs, kwnames, false);
}

PyObject* cbc_call(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, bool encrypt) {
  const char* function = encrypt ? "encrypt()" : "decrypt()";
  static const char* const names[] = {"iv", "data", "padding"};
  PyObject* bound[3];
  ByteView iv, data;
  PaddingChoice padding;
  if (!kyber_alg::bind_arguments(function, names, 2, args, nargs, kwnames, bound) ||
      !read_sized(bound[0], function, "iv", sm4::kBlockSize, iv) ||
      !read_bytes(bound[1], function, "data", data) || !parse_padding(bound[2], function, padding))
    return nullptr;
  return encrypt ? block_encrypt(as_block(self), Chaining::cbc, iv.data(), data, padding, function)
                 : block_decrypt(as_block(self), Chaining::cbc, iv.data(), data, padding, function);
}

PyObject* cbc_encrypt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return cbc_call(self, args, nargs, kwnames, true);
}

PyObject* cbc_decrypt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return cbc_call(self, args, nargs, kwnames, false);
}

PyMethodDef ecb_methods[] = {
    {"encrypt", kyber_alg::as_method<ecb_encrypt>(), METH_FASTCALL | METH_KEYWORDS,
     "encrypt($self, /, data, padding='pkcs7')\n--\n\n"
     "data padded ('pkcs7', 'iso9797-1-m2', or 'none' for whole blocks) and encrypted block by block."},
    {"decrypt", kyber_alg::as_method<ecb_decrypt>(), METH_FASTCALL | METH_KEYWORDS,
     "decrypt($self, /, data, padding='pkcs7')\n--\n\n"
     "data decrypted and its padding checked (in constant time) and removed; ValueError if invalid."},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef cbc_methods[] = {
    {"encrypt", kyber_alg::as_method<cbc_encrypt>(), METH_FASTCALL | METH_KEYWORDS,
     "encrypt($self, /, iv, data, padding='pkcs7')\n--\n\n"
     "data padded ('pkcs7', 'iso9797-1-m2', or 'none' for whole blocks) and encrypted in CBC mode\n"
     "with the 16-byte iv (use a new unpredictable iv per message)."},
    {"decrypt", kyber_alg::as_method<cbc_decrypt>(), METH_FASTCALL | METH_KEYWORDS,
     "decrypt($self, /, iv, data, padding='pkcs7')\n--\n\n"
     "data decrypted in CBC mode and its padding checked (in constant time) and removed;\n"
     "ValueError if invalid."},
    {nullptr, nullptr, 0, nullptr},
};

PyDoc_STRVAR(ecb_doc,
             "SM4ECB(key)\n--\n\n"
             "SM4 in ECB mode with a 16-byte key: equal blocks give equal ciphertext, and nothing\n"
             "detects changes. For compatibility with existing data only.");

PyDoc_STRVAR(cbc_doc,
             "SM4CBC(key)\n--\n\n"
             "SM4 in CBC mode with a 16-byte key. Nothing detects changes: prefer SM4GCM unless\n"
             "something else authenticates the data.");

PyType_Slot ecb_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(ecb_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(block_dealloc)},
    {Py_tp_methods, ecb_methods},
    {Py_tp_doc, const_cast<char*>(ecb_doc)},
    {0, nullptr},
};

PyType_Slot cbc_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(cbc_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(block_dealloc)},
    {Py_tp_methods, cbc_methods},
    {Py_tp_doc, const_cast<char*>(cbc_doc)},
    {0, nullptr},
};

// --- the module ------------------------------------------------------------------

constexpr unsigned kTypeFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;

PyType_Spec type_specs[kTypeCount] = {
    {"kyber_alg.sm4.SM4GCM", sizeof(GcmObject), 0, kTypeFlags, gcm_slots},
    {"kyber_alg.sm4.SM4CCM", sizeof(CcmObject), 0, kTypeFlags, ccm_slots},
    {"kyber_alg.sm4.SM4CTR", sizeof(CtrObject), 0, kTypeFlags, ctr_slots},
    {"kyber_alg.sm4.SM4ECB", sizeof(BlockObject), 0, kTypeFlags, ecb_slots},
    {"kyber_alg.sm4.SM4CBC", sizeof(BlockObject), 0, kTypeFlags, cbc_slots},
};

using Paths = kyber_alg::DispatchFunctions<sm4::Kernels, sm4::kernels>;

int module_exec(PyObject* module) {
  ModuleState* state = StateSlots::state(module);
  for (int i = 0; i < kTypeCount; ++i) {
    if (!kyber_alg::add_type(module, type_specs[i], state->types[i])) return -1;
  }
  Ref exceptions = Ref::steal(PyImport_ImportModule("kyber_alg.exceptions"));
  if (!exceptions) return -1;
  state->invalid_tag = PyObject_GetAttrString(exceptions.get(), "InvalidTag");
  return state->invalid_tag ? 0 : -1;
}

PyDoc_STRVAR(module_doc,
             "SM4 modes, native and constant-time: SM4GCM, SM4CCM, SM4CTR, SM4ECB, SM4CBC\n"
             "(the implementation of kyber_alg.sm4).");

PyModuleDef module_def =
    kyber_alg::module_definition<StateSlots, module_exec>("kyber_alg._sm4", module_doc, Paths::methods);

}  // namespace

PyMODINIT_FUNC PyInit__sm4(void) { return PyModuleDef_Init(&module_def); }
