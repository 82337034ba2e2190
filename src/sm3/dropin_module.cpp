// The Python module kyber_alg.sm.SM3: a hashlib-style SM3 object and
// pysmx's hash_msg(). Multi-phase initialisation (PEP 489).
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>

#include "common/args.hpp"
#include "common/buffer.hpp"
#include "common/ct.hpp"
#include "common/dispatch_functions.hpp"
#include "common/gil.hpp"
#include "common/hex.hpp"
#include "common/module_def.hpp"
#include "common/object_lock.hpp"
#include "common/ref.hpp"
#include "sm3/kernels.hpp"
#include "sm3/sm3.hpp"

namespace sm3 = kyber_alg::sm3;
using kyber_alg::ByteView;
using kyber_alg::Ref;

namespace {

struct ModuleState {
  PyObject* hash_type;
};

using StateSlots = kyber_alg::ModuleStateSlots<&ModuleState::hash_type>;

struct HashObject {
  PyObject_HEAD sm3::State state;
  kyber_alg::ObjectLock lock;
};

HashObject* as_hash(PyObject* self) { return reinterpret_cast<HashObject*>(self); }

// Reads a bytes-like argument; str is refused with hashlib's message.
bool read_data(PyObject* obj, ByteView& view) {
  if (PyUnicode_Check(obj)) {
    PyErr_SetString(PyExc_TypeError, "Strings must be encoded before hashing");
    return false;
  }
  return view.acquire(obj);
}

// A new hash object with its state initialised. It has no lock yet: one is
// made the first time an update runs with the GIL released.
HashObject* allocate_hash(PyTypeObject* type) {
  HashObject* self = PyObject_New(HashObject, type);
  if (!self) return nullptr;
  self->lock.handle = nullptr;
  sm3::init(self->state);
  return self;
}

bool absorb(HashObject* self, PyObject* data) {
  ByteView view;
  if (!read_data(data, view)) return false;
  const auto len = static_cast<std::size_t>(view.size());
  return kyber_alg::run_locked(self->lock, len, [&] { sm3::update(self->state, view.data(), len); });
}

// The message given to the constructor. No other thread can see the new
// object yet, so it needs no lock, even while the GIL is released.
bool absorb_first(HashObject* self, PyObject* data) {
  ByteView view;
  if (!read_data(data, view)) return false;
  const auto len = static_cast<std::size_t>(view.size());
  kyber_alg::without_gil_if(len >= kyber_alg::kReleaseGilMinSize,
                            [&] { sm3::update(self->state, view.data(), len); });
  return true;
}

// The digest as text, through the constant-time codec: Velmora turns it into a key.
Ref hex_string(const uint8_t* data, std::size_t len) {
  Ref text = Ref::steal(PyUnicode_New(static_cast<Py_ssize_t>(2 * len), 127));
  if (text) kyber_alg::hex::encode(static_cast<char*>(PyUnicode_DATA(text.get())), data, len);
  return text;
}

// The digest of everything absorbed so far; the object itself is unchanged.
void current_digest(HashObject* self, uint8_t out[sm3::kDigestSize]) {
  self->lock.acquire();
  sm3::digest(self->state, out);
  self->lock.release();
}

// --- the SM3 type ---------------------------------------------------------

PyObject* new_hash(PyTypeObject* type, PyObject* msg) {
  Ref self = Ref::steal(reinterpret_cast<PyObject*>(allocate_hash(type)));
  if (!self) return nullptr;
  if (msg && !absorb_first(as_hash(self.get()), msg)) return nullptr;
  return self.release();
}

PyObject* hash_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"msg", nullptr};
  PyObject* msg = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:SM3", const_cast<char**>(keywords), &msg))
    return nullptr;
  return new_hash(type, msg);
}

// SM3(msg=b'') as a vectorcall: the arguments are read in place, with no
// tuple or dict built for them (hashing short messages is mostly call cost).
PyObject* hash_vectorcall(PyObject* type, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
  static const char* const names[] = {"msg"};
  PyObject* bound[1];
  if (!kyber_alg::bind_arguments("SM3()", names, 0, args, PyVectorcall_NARGS(nargsf), kwnames, bound))
    return nullptr;
  return new_hash(reinterpret_cast<PyTypeObject*>(type), bound[0]);
}

void hash_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  kyber_alg::ct::wipe_object(as_hash(self)->state);  // the buffered tail of the message
  as_hash(self)->lock.free();
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* hash_update(PyObject* self, PyObject* data) {
  if (!absorb(as_hash(self), data)) return nullptr;
  Py_RETURN_NONE;
}

// Written straight into the new bytes object.
PyObject* hash_digest(PyObject* self, PyObject*) {
  Ref digest = Ref::steal(PyBytes_FromStringAndSize(nullptr, sm3::kDigestSize));
  if (!digest) return nullptr;
  current_digest(as_hash(self), reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(digest.get())));
  return digest.release();
}

PyObject* hash_hexdigest(PyObject* self, PyObject*) {
  uint8_t out[sm3::kDigestSize];
  current_digest(as_hash(self), out);
  return hex_string(out, sizeof out).release();
}

PyObject* hash_copy(PyObject* self, PyObject*) {
  HashObject* copy = allocate_hash(Py_TYPE(self));
  if (!copy) return nullptr;
  as_hash(self)->lock.acquire();
  copy->state = as_hash(self)->state;
  as_hash(self)->lock.release();
  return reinterpret_cast<PyObject*>(copy);
}

PyObject* hash_name(PyObject*, void*) { return PyUnicode_FromString("sm3"); }
PyObject* hash_digest_size(PyObject*, void*) { return PyLong_FromSize_t(sm3::kDigestSize); }
PyObject* hash_block_size(PyObject*, void*) { return PyLong_FromSize_t(sm3::kBlockSize); }

PyMethodDef hash_methods[] = {
    {"update", hash_update, METH_O,
     "update($self, data, /)\n--\n\nAdd the bytes of data (any bytes-like object) to the message."},
    {"digest", hash_digest, METH_NOARGS,
     "digest($self, /)\n--\n\nThe 32-byte digest of the message so far. The object can still be updated."},
    {"hexdigest", hash_hexdigest, METH_NOARGS,
     "hexdigest($self, /)\n--\n\nThe digest as 64 lower-case hexadecimal characters."},
    {"copy", hash_copy, METH_NOARGS, "copy($self, /)\n--\n\nAn independent copy of this hash object."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef hash_getset[] = {
    {"name", hash_name, nullptr, "The algorithm's name, 'sm3'.", nullptr},
    {"digest_size", hash_digest_size, nullptr, "Size of the digest in bytes: 32.", nullptr},
    {"block_size", hash_block_size, nullptr, "Size of SM3's message block in bytes: 64.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyDoc_STRVAR(hash_doc,
             "SM3(msg=b'')\n--\n\n"
             "SM3 hash object (GB/T 32905-2016) with the interface of hashlib's objects.\n\n"
             "msg, if given, is absorbed as by update(). Inputs are bytes-like objects;\n"
             "str raises TypeError. Large inputs are hashed with the GIL released.");

PyType_Slot hash_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(hash_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(hash_dealloc)},
    {Py_tp_methods, hash_methods},
    {Py_tp_getset, hash_getset},
    {Py_tp_doc, const_cast<char*>(hash_doc)},
    {0, nullptr},
};

PyType_Spec hash_spec = {
    .name = "kyber_alg.sm.SM3.SM3",
    .basicsize = sizeof(HashObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = hash_slots,
};

// --- module functions -----------------------------------------------------

// pysmx.SM3.hash_msg accepts text (hashed as UTF-8), bytes-like objects and
// sequences of byte values; so does this one.
PyObject* hash_msg(PyObject*, PyObject* msg) {
  uint8_t out[sm3::kDigestSize];
  auto hash_bytes = [&](const uint8_t* data, std::size_t len) {
    kyber_alg::without_gil_if(len >= kyber_alg::kReleaseGilMinSize, [&] { sm3::hash(data, len, out); });
  };
  if (PyUnicode_Check(msg)) {
    Py_ssize_t len;
    const char* text = PyUnicode_AsUTF8AndSize(msg, &len);
    if (!text) return nullptr;
    hash_bytes(reinterpret_cast<const uint8_t*>(text), static_cast<std::size_t>(len));
  } else if (PyObject_CheckBuffer(msg)) {
    ByteView view;
    if (!view.acquire(msg)) return nullptr;
    hash_bytes(view.data(), static_cast<std::size_t>(view.size()));
  } else {
    Ref bytes = Ref::steal(PyBytes_FromObject(msg));
    if (!bytes) return nullptr;
    hash_bytes(reinterpret_cast<const uint8_t*>(PyBytes_AS_STRING(bytes.get())),
               static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
  }
  return hex_string(out, sizeof out).release();
}

using Paths = kyber_alg::DispatchFunctions<sm3::Kernels, sm3::kernels>;

PyMethodDef module_methods[] = {
    Paths::backend_method,
    Paths::available_method,
    Paths::set_method,
    {"hash_msg", hash_msg, METH_O,
     "hash_msg($module, msg, /)\n--\n\n"
     "SM3 digest of msg as 64 lower-case hexadecimal characters, as pysmx.SM3.hash_msg\n"
     "returns it. msg is str (hashed as UTF-8), a bytes-like object, or an iterable of\n"
     "integers in range(256)."},
    {nullptr, nullptr, 0, nullptr},
};

int module_exec(PyObject* module) {
  ModuleState* state = StateSlots::state(module);
  if (!kyber_alg::add_type(module, hash_spec, state->hash_type, {"SM3", "SM3Type"})) return -1;
  // CPython 3.11 to 3.13 have no type slot for a vectorcall (Py_tp_vectorcall
  // comes with 3.14), so the field is set here, before the type is first used.
  reinterpret_cast<PyTypeObject*>(state->hash_type)->tp_vectorcall = hash_vectorcall;
  return 0;
}

PyDoc_STRVAR(module_doc,
             "SM3 hash (GB/T 32905-2016), native: a stand-in for pysmx.SM3.\n\n"
             "SM3(msg=b'') -> hash object with update(), digest(), hexdigest(), copy()\n"
             "hash_msg(msg) -> hexadecimal digest");

PyModuleDef module_def =
    kyber_alg::module_definition<StateSlots, module_exec>("kyber_alg.sm.SM3", module_doc, module_methods);

}  // namespace

PyMODINIT_FUNC PyInit_SM3(void) { return PyModuleDef_Init(&module_def); }
