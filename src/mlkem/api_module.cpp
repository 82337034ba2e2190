// The native module kyber_alg._mlkem behind kyber_alg.mlkem: one private-key
// and one public-key type per parameter set, holding the decoded keys (the
// matrix A_hat and H(ek) are computed once, when a key is made or read).
// kyber_alg/mlkem.py subclasses these types and adds the DER and PEM
// encodings. Multi-phase initialisation (PEP 489).
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "common/args.hpp"
#include "common/buffer.hpp"
#include "common/ct.hpp"
#include "common/dispatch_functions.hpp"
#include "common/module_def.hpp"
#include "common/os_random.hpp"
#include "common/ref.hpp"
#include "mlkem/kernels.hpp"
#include "mlkem/ml_kem.hpp"

namespace mlkem = kyber_alg::mlkem;
using kyber_alg::ByteView;
using kyber_alg::Ref;
using mlkem::MlKem1024;
using mlkem::MlKem512;
using mlkem::MlKem768;

namespace {

extern PyModuleDef module_def;

// --- parameter sets --------------------------------------------------------

template <class P>
struct Set;
template <>
struct Set<MlKem512> {
  static constexpr const char* name = "ML-KEM-512";
  static constexpr int index = 0;
};
template <>
struct Set<MlKem768> {
  static constexpr const char* name = "ML-KEM-768";
  static constexpr int index = 1;
};
template <>
struct Set<MlKem1024> {
  static constexpr const char* name = "ML-KEM-1024";
  static constexpr int index = 2;
};

// Every call keeps the GIL: the longest (ML-KEM-1024 key generation) takes
// about 11 us, and measured here, releasing the GIL for that long gave two
// threads of key generations no more throughput together than one, while a
// busy Python thread beside took the GIL at each release and slowed the key
// generations to 0.6 of their rate.

// Which set a wrongly sized input belongs to, for the error message.
// The seed d || z and the encapsulation randomness m have one size in every set.
enum class Part { public_key, expanded_key, ciphertext, seed, randomness };

std::size_t part_size(int set, Part part) {
  static constexpr std::size_t sizes[3][5] = {
      {MlKem512::ek_bytes, MlKem512::dk_bytes, MlKem512::ct_bytes, 64, 32},
      {MlKem768::ek_bytes, MlKem768::dk_bytes, MlKem768::ct_bytes, 64, 32},
      {MlKem1024::ek_bytes, MlKem1024::dk_bytes, MlKem1024::ct_bytes, 64, 32},
  };
  return sizes[set][static_cast<int>(part)];
}

constexpr const char* set_names[3] = {"ML-KEM-512", "ML-KEM-768", "ML-KEM-1024"};

template <class P>
bool wrong_length(const char* what, Part part, Py_ssize_t got) {
  const std::size_t expected = part_size(Set<P>::index, part);
  for (int other = 0; other < 3; ++other) {
    if (static_cast<Py_ssize_t>(part_size(other, part)) == got) {
      PyErr_Format(PyExc_ValueError, "an %s %s is %zu bytes long, got %zd (the length of an %s %s)",
                   Set<P>::name, what, expected, got, set_names[other], what);
      return false;
    }
  }
  PyErr_Format(PyExc_ValueError, "an %s %s is %zu bytes long, got %zd", Set<P>::name, what, expected, got);
  return false;
}

// Copies a bytes-like argument of exactly part_size(P, part) bytes into out.
template <class P>
bool read_exact(PyObject* obj, const char* function, uint8_t* out, const char* what, Part part) {
  ByteView view;
  if (!kyber_alg::read_bytes(obj, function, what, view)) return false;
  const std::size_t len = part_size(Set<P>::index, part);
  if (view.size() != static_cast<Py_ssize_t>(len)) return wrong_length<P>(what, part, view.size());
  std::memcpy(out, view.data(), len);
  return true;
}

// The one argument of a METH_FASTCALL | METH_KEYWORDS method, by position or by name.
PyObject* only_argument(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const char* function,
                        const char* name) {
  const char* const names[] = {name};
  PyObject* bound[1];
  if (!kyber_alg::bind_arguments(function, names, 1, args, nargs, kwnames, bound)) return nullptr;
  return bound[0];
}

Ref new_bytes(std::size_t len) {
  return Ref::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(len)));
}

uint8_t* bytes_data(const Ref& bytes) { return reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(bytes.get())); }

// --- objects ---------------------------------------------------------------

// The decoded keys hold 32-byte aligned polynomials; Python objects are only
// 16-byte aligned, so each object keeps 16 spare bytes and finds an aligned
// place for its key inside them.
template <class Key>
struct AlignedKey {
  alignas(16) unsigned char storage[sizeof(Key) + 16];
  Key& get() {
    const auto at = (reinterpret_cast<std::uintptr_t>(storage) + 31) & ~std::uintptr_t{31};
    return *std::launder(reinterpret_cast<Key*>(at));
  }
};

template <class P>
struct PrivateKeyObject {
  PyObject_HEAD uint8_t seed[64];  // d || z, when the key was made from them
  bool has_seed;
  AlignedKey<mlkem::DecapsulationKey<P>> key;
};

template <class P>
struct PublicKeyObject {
  PyObject_HEAD AlignedKey<mlkem::EncapsulationKey<P>> key;
};

template <class P>
PrivateKeyObject<P>* as_private(PyObject* self) {
  return reinterpret_cast<PrivateKeyObject<P>*>(self);
}

template <class P>
PublicKeyObject<P>* as_public(PyObject* self) {
  return reinterpret_cast<PublicKeyObject<P>*>(self);
}

struct ModuleState {
  PyObject* private_types[3];
  PyObject* public_types[3];
};

using StateSlots = kyber_alg::ModuleStateSlots<&ModuleState::private_types, &ModuleState::public_types>;

// The native public-key type of P, found from any of the module's types (or their subclasses).
template <class P>
PyTypeObject* public_type_of(PyObject* self) {
  PyObject* module = PyType_GetModuleByDef(Py_TYPE(self), &module_def);
  if (!module) return nullptr;
  return reinterpret_cast<PyTypeObject*>(StateSlots::state(module)->public_types[Set<P>::index]);
}

// A new object of `cls` (a key type of this module or a subclass) whose key
// the caller fills in. tp_alloc would zero the whole object, kilobytes that
// are written over at once; a subclass that adds nothing to the native object
// (no __dict__, no garbage-collector header) is allocated without that.
template <class Object>
PyObject* new_key_object(PyObject* cls) {
  auto* type = reinterpret_cast<PyTypeObject*>(cls);
  if (type->tp_basicsize != sizeof(Object) || type->tp_itemsize != 0 || PyType_IS_GC(type) ||
      type->tp_free != PyObject_Free)
    return type->tp_alloc(type, 0);
  auto* object = static_cast<PyObject*>(PyObject_Malloc(sizeof(Object)));
  if (!object) return PyErr_NoMemory();
  return PyObject_Init(object, type);
}

// --- private keys ----------------------------------------------------------

// A private key of type cls from d || z (ML-KEM.KeyGen_internal).
template <class P>
PyObject* private_from_seed(PyObject* cls, const uint8_t seed[64]) {
  Ref self = Ref::steal(new_key_object<PrivateKeyObject<P>>(cls));
  if (!self) return nullptr;
  PrivateKeyObject<P>* key = as_private<P>(self.get());
  std::memcpy(key->seed, seed, 64);
  key->has_seed = true;
  mlkem::DecapsulationKey<P>& dk = key->key.get();
  mlkem::ml_kem_keygen_internal<P>(dk, seed, seed + 32);
  return self.release();
}

template <class P>
PyObject* private_generate(PyObject* cls, PyObject*) {
  kyber_alg::ct::Wiped<uint8_t[64]> seed;
  if (!kyber_alg::os_random(seed.value, 64)) return PyErr_SetFromErrno(PyExc_OSError);
  return private_from_seed<P>(cls, seed.value);
}

template <class P>
PyObject* private_from_seed_bytes(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* data = only_argument(args, nargs, kwnames, "from_seed_bytes()", "data");
  if (!data) return nullptr;
  kyber_alg::ct::Wiped<uint8_t[64]> seed;
  if (!read_exact<P>(data, "from_seed_bytes()", seed.value, "seed (d || z)", Part::seed)) return nullptr;
  return private_from_seed<P>(cls, seed.value);
}

// _from_expanded(cls, dk, seed): a private key from its FIPS 203 encoding,
// with the seed it was made from if that is known (checked to match).
template <class P>
PyObject* private_from_expanded(PyObject* cls, PyObject* const* args, Py_ssize_t nargs) {
  const char* function = "_from_expanded()";
  if (!kyber_alg::check_positional(function, nargs, 2)) return nullptr;
  kyber_alg::ct::Wiped<uint8_t[P::dk_bytes]> dk;
  if (!read_exact<P>(args[0], function, dk.value, "expanded private key", Part::expanded_key)) return nullptr;
  kyber_alg::ct::Wiped<uint8_t[64]> seed;
  const bool has_seed = args[1] != Py_None;
  if (has_seed && !read_exact<P>(args[1], function, seed.value, "seed (d || z)", Part::seed)) return nullptr;
  if (!mlkem::ek_modulus_check<P>(dk.value + P::dk_pke_bytes)) {
    PyErr_Format(
        PyExc_ValueError,
        "not a valid %s expanded private key: its encapsulation key has a coefficient that is not below "
        "q = 3329 (modulus check, FIPS 203 section 7.2)",
        Set<P>::name);
    return nullptr;
  }
  Ref self = Ref::steal(new_key_object<PrivateKeyObject<P>>(cls));
  if (!self) return nullptr;
  PrivateKeyObject<P>* key = as_private<P>(self.get());
  key->has_seed = false;
  const bool valid = mlkem::read_decapsulation_key<P>(key->key.get(), dk.value);
  bool matches = true;
  if (valid && has_seed) {
    // The "both" form: the expanded key must be the one the seed gives.
    kyber_alg::ct::Wiped<mlkem::DecapsulationKey<P>> from_seed;
    mlkem::ml_kem_keygen_internal<P>(from_seed.value, seed.value, seed.value + 32);
    kyber_alg::ct::Wiped<uint8_t[P::dk_bytes]> expected;
    mlkem::write_decapsulation_key<P>(expected.value, from_seed.value);
    matches = kyber_alg::ct::equal_mask(expected.value, dk.value, P::dk_bytes) == 0xff;
  }
  if (!valid) {
    PyErr_Format(
        PyExc_ValueError,
        "not a valid %s expanded private key: the H(ek) it stores is not the hash of the encapsulation key "
        "it holds (hash check, FIPS 203 section 7.3)",
        Set<P>::name);
    return nullptr;
  }
  if (!matches) {
    PyErr_Format(PyExc_ValueError,
                 "inconsistent %s private key: the expanded key is not the one its seed gives", Set<P>::name);
    return nullptr;
  }
  if (has_seed) std::memcpy(key->seed, seed.value, 64);
  key->has_seed = has_seed;
  return self.release();
}

template <class P>
PyObject* private_decapsulate(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* ciphertext = only_argument(args, nargs, kwnames, "decapsulate()", "ciphertext");
  if (!ciphertext) return nullptr;
  uint8_t c[P::ct_bytes];
  if (!read_exact<P>(ciphertext, "decapsulate()", c, "ciphertext", Part::ciphertext)) return nullptr;
  Ref shared = new_bytes(32);
  if (!shared) return nullptr;
  uint8_t* out = bytes_data(shared);
  const mlkem::DecapsulationKey<P>& dk = as_private<P>(self)->key.get();
  mlkem::ml_kem_decaps_internal<P>(out, dk, c);
  return shared.release();
}

template <class P>
PyObject* private_bytes_raw(PyObject* self, PyObject*) {
  const PrivateKeyObject<P>* key = as_private<P>(self);
  if (!key->has_seed) {
    PyErr_Format(PyExc_ValueError,
                 "this %s private key was read from its expanded form alone and has no seed to return",
                 Set<P>::name);
    return nullptr;
  }
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(key->seed), 64);
}

template <class P>
PyObject* private_has_seed(PyObject* self, PyObject*) {
  return PyBool_FromLong(as_private<P>(self)->has_seed);
}

template <class P>
PyObject* private_expanded_bytes(PyObject* self, PyObject*) {
  Ref out = new_bytes(P::dk_bytes);
  if (out) mlkem::write_decapsulation_key<P>(bytes_data(out), as_private<P>(self)->key.get());
  return out.release();
}

template <class P>
PyObject* private_public_key(PyObject* self, PyObject* cls) {
  PyTypeObject* native = public_type_of<P>(self);
  if (!native) return nullptr;
  if (!PyType_Check(cls) || !PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(cls), native)) {
    PyErr_Format(PyExc_TypeError, "_public_key(): %R is not a subclass of %s", cls, native->tp_name);
    return nullptr;
  }
  PyObject* pk = new_key_object<PublicKeyObject<P>>(cls);
  if (pk) as_public<P>(pk)->key.get() = as_private<P>(self)->key.get().ek;
  return pk;
}

template <class P>
void private_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  PrivateKeyObject<P>* key = as_private<P>(self);
  // The secret parts: the seed, s_hat and z (the rest is the public key).
  mlkem::DecapsulationKey<P>& dk = key->key.get();
  kyber_alg::ct::wipe(key->seed, sizeof key->seed);
  kyber_alg::ct::wipe_object(dk.pke);
  kyber_alg::ct::wipe(dk.z, sizeof dk.z);
  type->tp_free(self);
  Py_DECREF(type);
}

template <class P>
PyMethodDef private_methods[] = {
    {"generate", private_generate<P>, METH_NOARGS | METH_CLASS,
     "generate($type, /)\n--\n\nA new key pair from 64 bytes of operating-system randomness."},
    {"from_seed_bytes", kyber_alg::as_method<private_from_seed_bytes<P>>(),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS,
     "from_seed_bytes($type, data)\n--\n\nThe key pair of the 64-byte seed d || z (ML-KEM.KeyGen_internal)."},
    {"_from_expanded", kyber_alg::as_method<private_from_expanded<P>>(), METH_FASTCALL | METH_CLASS,
     "_from_expanded($type, dk, seed, /)\n--\n\n"
     "The key of the FIPS 203 decapsulation key dk (hash-checked); "
     "seed, if not None, must give that same key."},
    {"decapsulate", kyber_alg::as_method<private_decapsulate<P>>(), METH_FASTCALL | METH_KEYWORDS,
     "decapsulate($self, ciphertext)\n--\n\n"
     "The 32-byte shared secret of the ciphertext (implicit rejection: "
     "a ciphertext not made for this key gives an unrelated secret, not an error)."},
    {"private_bytes_raw", private_bytes_raw<P>, METH_NOARGS,
     "private_bytes_raw($self, /)\n--\n\nThe 64-byte seed d || z."},
    {"_has_seed", private_has_seed<P>, METH_NOARGS, "_has_seed($self, /)\n--\n\nWhether the seed is known."},
    {"_expanded_bytes", private_expanded_bytes<P>, METH_NOARGS,
     "_expanded_bytes($self, /)\n--\n\nThe FIPS 203 decapsulation key dk_pke || ek || H(ek) || z."},
    {"_public_key", private_public_key<P>, METH_O,
     "_public_key($self, cls, /)\n--\n\n"
     "The public key, as an object of cls (the public-key type or a subclass)."},
    {nullptr, nullptr, 0, nullptr},
};

// --- public keys -----------------------------------------------------------

template <class P>
PyObject* public_from_public_bytes(PyObject* cls, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  PyObject* data = only_argument(args, nargs, kwnames, "from_public_bytes()", "data");
  if (!data) return nullptr;
  uint8_t ek[P::ek_bytes];
  if (!read_exact<P>(data, "from_public_bytes()", ek, "public key", Part::public_key)) return nullptr;
  Ref self = Ref::steal(new_key_object<PublicKeyObject<P>>(cls));
  if (!self) return nullptr;
  mlkem::EncapsulationKey<P>& key = as_public<P>(self.get())->key.get();
  if (!mlkem::read_encapsulation_key<P>(key, ek)) {
    PyErr_Format(PyExc_ValueError,
                 "not a valid %s public key: a coefficient is not below q = 3329 (modulus check, FIPS 203 "
                 "section 7.2)",
                 Set<P>::name);
    return nullptr;
  }
  return self.release();
}

// (shared_secret, ciphertext) for the randomness m.
template <class P>
PyObject* encapsulate_with(PyObject* self, const uint8_t m[32]) {
  Ref shared = new_bytes(32);
  if (!shared) return nullptr;
  Ref ciphertext = new_bytes(P::ct_bytes);
  if (!ciphertext) return nullptr;
  uint8_t* key_out = bytes_data(shared);
  uint8_t* c_out = bytes_data(ciphertext);
  const mlkem::EncapsulationKey<P>& ek = as_public<P>(self)->key.get();
  mlkem::ml_kem_encaps_internal<P>(key_out, c_out, ek, m);
  return PyTuple_Pack(2, shared.get(), ciphertext.get());
}

template <class P>
PyObject* public_encapsulate(PyObject* self, PyObject*) {
  kyber_alg::ct::Wiped<uint8_t[32]> m;
  if (!kyber_alg::os_random(m.value, 32)) return PyErr_SetFromErrno(PyExc_OSError);
  return encapsulate_with<P>(self, m.value);
}

template <class P>
PyObject* public_encapsulate_deterministic(PyObject* self, PyObject* m_obj) {
  kyber_alg::ct::Wiped<uint8_t[32]> m;
  if (!read_exact<P>(m_obj, "_encapsulate_deterministic()", m.value, "encapsulation randomness m",
                     Part::randomness))
    return nullptr;
  return encapsulate_with<P>(self, m.value);
}

template <class P>
PyObject* public_bytes_raw(PyObject* self, PyObject*) {
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(as_public<P>(self)->key.get().bytes),
                                   P::ek_bytes);
}

template <class P>
PyObject* public_richcompare(PyObject* self, PyObject* other, int op) {
  PyTypeObject* native = public_type_of<P>(self);
  if (!native) return nullptr;
  if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(other, native)) Py_RETURN_NOTIMPLEMENTED;
  const bool equal = std::memcmp(as_public<P>(self)->key.get().bytes, as_public<P>(other)->key.get().bytes,
                                 P::ek_bytes) == 0;
  return PyBool_FromLong(equal == (op == Py_EQ));
}

template <class P>
void public_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

template <class P>
PyMethodDef public_methods[] = {
    {"from_public_bytes", kyber_alg::as_method<public_from_public_bytes<P>>(),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS,
     "from_public_bytes($type, data)\n--\n\n"
     "The public key (encapsulation key) ek, after the modulus check of FIPS 203 section 7.2."},
    {"encapsulate", public_encapsulate<P>, METH_NOARGS,
     "encapsulate($self, /)\n--\n\n"
     "(shared_secret, ciphertext) from 32 bytes of operating-system randomness."},
    {"_encapsulate_deterministic", public_encapsulate_deterministic<P>, METH_O,
     "_encapsulate_deterministic($self, m, /)\n--\n\n"
     "(shared_secret, ciphertext) for the given 32-byte m (ML-KEM.Encaps_internal; for known-answer tests)."},
    {"public_bytes_raw", public_bytes_raw<P>, METH_NOARGS,
     "public_bytes_raw($self, /)\n--\n\nThe encapsulation key ek."},
    {nullptr, nullptr, 0, nullptr},
};

// --- types -----------------------------------------------------------------

template <class P>
PyType_Slot private_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(private_dealloc<P>)},
    {Py_tp_methods, private_methods<P>},
    {Py_tp_doc, const_cast<char*>("An ML-KEM private key (decapsulation key).")},
    {0, nullptr},
};

template <class P>
PyType_Slot public_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(public_dealloc<P>)},
    {Py_tp_methods, public_methods<P>},
    {Py_tp_richcompare, reinterpret_cast<void*>(public_richcompare<P>)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_tp_doc, const_cast<char*>("An ML-KEM public key (encapsulation key).")},
    {0, nullptr},
};

// Subclassable (kyber_alg.mlkem adds the encodings); no instances from
// calling the type: keys come from the class methods.
constexpr unsigned long type_flags =
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION;

template <class P>
PyType_Spec private_spec;
template <class P>
PyType_Spec public_spec;

template <>
PyType_Spec private_spec<MlKem512> = {"kyber_alg._mlkem.MLKEM512PrivateKey",
                                      sizeof(PrivateKeyObject<MlKem512>), 0, type_flags,
                                      private_slots<MlKem512>};
template <>
PyType_Spec private_spec<MlKem768> = {"kyber_alg._mlkem.MLKEM768PrivateKey",
                                      sizeof(PrivateKeyObject<MlKem768>), 0, type_flags,
                                      private_slots<MlKem768>};
template <>
PyType_Spec private_spec<MlKem1024> = {"kyber_alg._mlkem.MLKEM1024PrivateKey",
                                       sizeof(PrivateKeyObject<MlKem1024>), 0, type_flags,
                                       private_slots<MlKem1024>};
template <>
PyType_Spec public_spec<MlKem512> = {"kyber_alg._mlkem.MLKEM512PublicKey", sizeof(PublicKeyObject<MlKem512>),
                                     0, type_flags, public_slots<MlKem512>};
template <>
PyType_Spec public_spec<MlKem768> = {"kyber_alg._mlkem.MLKEM768PublicKey", sizeof(PublicKeyObject<MlKem768>),
                                     0, type_flags, public_slots<MlKem768>};
template <>
PyType_Spec public_spec<MlKem1024> = {"kyber_alg._mlkem.MLKEM1024PublicKey",
                                      sizeof(PublicKeyObject<MlKem1024>), 0, type_flags,
                                      public_slots<MlKem1024>};

// Creates the two types of P and adds them to the module under their short names.
template <class P>
bool add_types(PyObject* module) {
  ModuleState* state = StateSlots::state(module);
  return kyber_alg::add_type(module, private_spec<P>, state->private_types[Set<P>::index]) &&
         kyber_alg::add_type(module, public_spec<P>, state->public_types[Set<P>::index]);
}

// --- module ----------------------------------------------------------------

kyber_alg::Dispatch<mlkem::Kernels>& dispatch() { return mlkem::kernels; }

using Paths = kyber_alg::DispatchFunctions<mlkem::Kernels, dispatch>;

int module_exec(PyObject* module) {
  if (!add_types<MlKem512>(module) || !add_types<MlKem768>(module) || !add_types<MlKem1024>(module))
    return -1;
  return 0;
}

PyDoc_STRVAR(module_doc,
             "ML-KEM-512, ML-KEM-768 and ML-KEM-1024 (FIPS 203) keys, native part of kyber_alg.mlkem.");

PyModuleDef module_def =
    kyber_alg::module_definition<StateSlots, module_exec>("kyber_alg._mlkem", module_doc, Paths::methods);
}  // namespace

PyMODINIT_FUNC PyInit__mlkem(void) { return PyModuleDef_Init(&module_def); }
