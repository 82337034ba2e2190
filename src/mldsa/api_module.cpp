// The native module kyber_alg._mldsa behind kyber_alg.mldsa: one private-key
// and one public-key type per parameter set, holding the decoded keys (the
// matrix A_hat and the NTT forms of s1, s2, t0 and t1 are computed once, when
// a key is made or read). kyber_alg/mldsa.py subclasses these types and adds
// the DER and PEM encodings. Multi-phase initialisation (PEP 489).
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
#include "mldsa/kernels.hpp"
#include "mldsa/ml_dsa.hpp"

namespace mldsa = kyber_alg::mldsa;
using kyber_alg::ByteView;
using kyber_alg::Ref;
using mldsa::MlDsa44;
using mldsa::MlDsa65;
using mldsa::MlDsa87;

namespace {

extern PyModuleDef module_def;

template <class P>
struct Set;
template <>
struct Set<MlDsa44> {
  static constexpr const char* name = "ML-DSA-44";
  static constexpr int index = 0;
};
template <>
struct Set<MlDsa65> {
  static constexpr const char* name = "ML-DSA-65";
  static constexpr int index = 1;
};
template <>
struct Set<MlDsa87> {
  static constexpr const char* name = "ML-DSA-87";
  static constexpr int index = 2;
};

// Every call keeps the GIL. Measured here on a shared two-core machine under
// heavy load, releasing it around signing (ML-DSA-65, about 0.3 ms) gave two
// signing threads 1.0-1.6x the throughput of one (0.8-1.1x with the GIL held),
// but slowed a signer beside a busy Python thread to 0.26-0.48 of its rate
// (0.38-0.43 held): no clear gain, so it stays held until measured quietly.

// Copies a bytes-like argument of exactly `len` bytes into out.
bool read_exact(PyObject* obj, uint8_t* out, std::size_t len, const char* function, const char* name) {
  ByteView view;
  if (!kyber_alg::read_bytes(obj, function, name, view) || !kyber_alg::check_size(view, function, name, len))
    return false;
  std::memcpy(out, view.data(), len);
  return true;
}

Ref new_bytes(std::size_t len) {
  return Ref::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(len)));
}

uint8_t* bytes_data(const Ref& bytes) { return reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(bytes.get())); }

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
  PyObject_HEAD uint8_t seed[32];  // xi, when the key was made from it
  bool has_seed;
  AlignedKey<mldsa::PrivateKey<P>> key;
};

template <class P>
struct PublicKeyObject {
  PyObject_HEAD AlignedKey<mldsa::PublicKey<P>> key;
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

template <class P>
PyTypeObject* public_type_of(PyObject* self) {
  PyObject* module = PyType_GetModuleByDef(Py_TYPE(self), &module_def);
  if (!module) return nullptr;
  return reinterpret_cast<PyTypeObject*>(StateSlots::state(module)->public_types[Set<P>::index]);
}

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

// The pure ML-DSA prefix of M' = 0 || |ctx| || ctx (FIPS 204 Algorithm 2 step 10).
struct ContextPrefix {
  uint8_t bytes[2 + 255];
  std::size_t len;
};

bool read_context(PyObject* obj, const char* function, ContextPrefix& prefix) {
  ByteView view;
  if (!kyber_alg::read_optional_bytes(obj, function, "context", view)) return false;
  const std::size_t len = kyber_alg::size_of(view);
  if (len > 255) {
    PyErr_Format(PyExc_ValueError, "%s: the context is at most 255 bytes long, got %zu", function, len);
    return false;
  }
  prefix.bytes[0] = 0;
  prefix.bytes[1] = static_cast<uint8_t>(len);
  if (len) std::memcpy(prefix.bytes + 2, view.data(), len);
  prefix.len = 2 + len;
  return true;
}

// --- private keys ----------------------------------------------------------

template <class P>
PyObject* private_from_seed(PyObject* cls, const uint8_t seed[32]) {
  Ref self = Ref::steal(new_key_object<PrivateKeyObject<P>>(cls));
  if (!self) return nullptr;
  PrivateKeyObject<P>* key = as_private<P>(self.get());
  std::memcpy(key->seed, seed, 32);
  key->has_seed = true;
  mldsa::ml_dsa_keygen_internal<P>(key->key.get(), seed);
  return self.release();
}

template <class P>
PyObject* private_generate(PyObject* cls, PyObject*) {
  kyber_alg::ct::Wiped<uint8_t[32]> seed;
  if (!kyber_alg::os_random(seed.value, 32)) return PyErr_SetFromErrno(PyExc_OSError);
  return private_from_seed<P>(cls, seed.value);
}

template <class P>
PyObject* private_from_seed_bytes(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"data"};
  PyObject* data[1];
  if (!kyber_alg::bind_arguments("from_seed_bytes()", names, 1, args, nargs, kwnames, data)) return nullptr;
  kyber_alg::ct::Wiped<uint8_t[32]> seed;
  if (!read_exact(data[0], seed.value, 32, "from_seed_bytes()", "the seed")) return nullptr;
  return private_from_seed<P>(cls, seed.value);
}

// _from_expanded(cls, sk, seed): a private key from its FIPS 204 encoding,
// with the seed it was made from if that is known (checked to match).
template <class P>
PyObject* private_from_expanded(PyObject* cls, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 2) {
    PyErr_Format(PyExc_TypeError, "_from_expanded() takes exactly 2 arguments (%zd given)", nargs);
    return nullptr;
  }
  kyber_alg::ct::Wiped<uint8_t[P::sk_bytes]> sk;
  if (!read_exact(args[0], sk.value, P::sk_bytes, "_from_expanded()", "the expanded key")) return nullptr;
  kyber_alg::ct::Wiped<uint8_t[32]> seed;
  const bool has_seed = args[1] != Py_None;
  if (has_seed && !read_exact(args[1], seed.value, 32, "_from_expanded()", "the seed")) return nullptr;
  Ref self = Ref::steal(new_key_object<PrivateKeyObject<P>>(cls));
  if (!self) return nullptr;
  PrivateKeyObject<P>* key = as_private<P>(self.get());
  key->has_seed = false;
  switch (mldsa::read_private_key<P>(key->key.get(), sk.value)) {
    case mldsa::ReadResult::out_of_range:
      PyErr_Format(PyExc_ValueError,
                   "not a valid %s expanded private key: a coefficient of s1 or s2 is outside [-%d, %d]",
                   Set<P>::name, P::eta, P::eta);
      return nullptr;
    case mldsa::ReadResult::inconsistent:
      PyErr_Format(PyExc_ValueError,
                   "not a valid %s expanded private key: its t0 or tr is not the one rho, s1 and s2 give",
                   Set<P>::name);
      return nullptr;
    case mldsa::ReadResult::ok:
      break;
  }
  if (has_seed) {
    // The "both" form: the expanded key must be the one the seed gives.
    kyber_alg::ct::Wiped<mldsa::PrivateKey<P>> from_seed;
    mldsa::ml_dsa_keygen_internal<P>(from_seed.value, seed.value);
    kyber_alg::ct::Wiped<uint8_t[P::sk_bytes]> expected;
    mldsa::sk_encode<P>(expected.value, from_seed.value.parts);
    if (kyber_alg::ct::equal_mask(expected.value, sk.value, P::sk_bytes) != 0xff) {
      PyErr_Format(PyExc_ValueError,
                   "inconsistent %s private key: the expanded key is not the one its seed gives",
                   Set<P>::name);
      return nullptr;
    }
    std::memcpy(key->seed, seed.value, 32);
    key->has_seed = true;
  }
  return self.release();
}

template <class P>
PyObject* sign_mu_with(const PrivateKeyObject<P>* key, const uint8_t mu[64], const uint8_t rnd[32]) {
  Ref sig = new_bytes(P::sig_bytes);
  if (!sig) return nullptr;
  mldsa::ml_dsa_sign_internal<P>(bytes_data(sig), const_cast<PrivateKeyObject<P>*>(key)->key.get(), mu, rnd);
  return sig.release();
}

template <class P>
PyObject* sign_mu_fresh(PyObject* self, const uint8_t mu[64]) {
  kyber_alg::ct::Wiped<uint8_t[32]> rnd;
  if (!kyber_alg::os_random(rnd.value, 32)) return PyErr_SetFromErrno(PyExc_OSError);
  return sign_mu_with<P>(as_private<P>(self), mu, rnd.value);
}

// sign(data, context=None): hedged ML-DSA.Sign (Algorithm 2).
template <class P>
PyObject* private_sign(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"data", "context"};
  PyObject* arg[2];
  if (!kyber_alg::bind_arguments("sign()", names, 1, args, nargs, kwnames, arg)) return nullptr;
  ContextPrefix prefix;
  if (!read_context(arg[1], "sign()", prefix)) return nullptr;
  ByteView data;
  if (!kyber_alg::read_bytes(arg[0], "sign()", "data", data)) return nullptr;
  uint8_t mu[64];
  mldsa::message_representative(mu, as_private<P>(self)->key.get().parts.tr, prefix.bytes, prefix.len,
                                data.data(), kyber_alg::size_of(data));
  return sign_mu_fresh<P>(self, mu);
}

// sign_mu(mu): hedged signing of an external mu (Algorithm 7 from step 7 on).
template <class P>
PyObject* private_sign_mu(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"mu"};
  PyObject* arg[1];
  if (!kyber_alg::bind_arguments("sign_mu()", names, 1, args, nargs, kwnames, arg)) return nullptr;
  uint8_t mu[64];
  if (!read_exact(arg[0], mu, 64, "sign_mu()", "mu")) return nullptr;
  return sign_mu_fresh<P>(self, mu);
}

// _sign_internal(m_prime, rnd): ML-DSA.Sign_internal with M' and rnd given.
template <class P>
PyObject* private_sign_internal(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 2) {
    PyErr_Format(PyExc_TypeError, "_sign_internal() takes exactly 2 arguments (%zd given)", nargs);
    return nullptr;
  }
  ByteView message;
  if (!kyber_alg::read_bytes(args[0], "_sign_internal()", "m_prime", message)) return nullptr;
  kyber_alg::ct::Wiped<uint8_t[32]> rnd;
  if (!read_exact(args[1], rnd.value, 32, "_sign_internal()", "rnd")) return nullptr;
  uint8_t mu[64];
  mldsa::message_representative(mu, as_private<P>(self)->key.get().parts.tr, nullptr, 0, message.data(),
                                kyber_alg::size_of(message));
  return sign_mu_with<P>(as_private<P>(self), mu, rnd.value);
}

// _sign_mu_internal(mu, rnd): Algorithm 7 from step 7 on, mu and rnd given.
template <class P>
PyObject* private_sign_mu_internal(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 2) {
    PyErr_Format(PyExc_TypeError, "_sign_mu_internal() takes exactly 2 arguments (%zd given)", nargs);
    return nullptr;
  }
  uint8_t mu[64];
  if (!read_exact(args[0], mu, 64, "_sign_mu_internal()", "mu")) return nullptr;
  kyber_alg::ct::Wiped<uint8_t[32]> rnd;
  if (!read_exact(args[1], rnd.value, 32, "_sign_mu_internal()", "rnd")) return nullptr;
  return sign_mu_with<P>(as_private<P>(self), mu, rnd.value);
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
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(key->seed), 32);
}

template <class P>
PyObject* private_has_seed(PyObject* self, PyObject*) {
  return PyBool_FromLong(as_private<P>(self)->has_seed);
}

template <class P>
PyObject* private_expanded_bytes(PyObject* self, PyObject*) {
  Ref out = new_bytes(P::sk_bytes);
  if (out) mldsa::sk_encode<P>(bytes_data(out), as_private<P>(self)->key.get().parts);
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
  if (pk) mldsa::read_public_key<P>(as_public<P>(pk)->key.get(), as_private<P>(self)->key.get().pk);
  return pk;
}

template <class P>
void private_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  PrivateKeyObject<P>* key = as_private<P>(self);
  // The secret parts: the seed, K, s1, s2, t0 and their NTT forms (A_hat is public).
  mldsa::PrivateKey<P>& sk = key->key.get();
  kyber_alg::ct::wipe(key->seed, sizeof key->seed);
  kyber_alg::ct::wipe_object(sk.parts);
  kyber_alg::ct::wipe_object(sk.s1_hat);
  kyber_alg::ct::wipe_object(sk.s2_hat);
  kyber_alg::ct::wipe_object(sk.t0_hat);
  type->tp_free(self);
  Py_DECREF(type);
}

#define KYBER_ALG_FASTCALL(f) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f))

template <class P>
PyMethodDef private_methods[] = {
    {"generate", private_generate<P>, METH_NOARGS | METH_CLASS,
     "generate($type, /)\n--\n\nA new key from a 32-byte seed of operating-system randomness."},
    {"from_seed_bytes", KYBER_ALG_FASTCALL(private_from_seed_bytes<P>),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS,
     "from_seed_bytes($type, data)\n--\n\nThe key of the 32-byte seed xi (ML-DSA.KeyGen_internal)."},
    {"_from_expanded", KYBER_ALG_FASTCALL(private_from_expanded<P>), METH_FASTCALL | METH_CLASS,
     "_from_expanded($type, sk, seed, /)\n--\n\nThe key of the FIPS 204 private key encoding sk (checked); "
     "seed, if not None, must give that same key."},
    {"sign", KYBER_ALG_FASTCALL(private_sign<P>), METH_FASTCALL | METH_KEYWORDS,
     "sign($self, data, context=None)\n--\n\nA hedged ML-DSA signature of data under the context (at most "
     "255 "
     "bytes)."},
    {"sign_mu", KYBER_ALG_FASTCALL(private_sign_mu<P>), METH_FASTCALL | METH_KEYWORDS,
     "sign_mu($self, mu)\n--\n\nA hedged signature of the 64-byte message representative mu."},
    {"_sign_internal", KYBER_ALG_FASTCALL(private_sign_internal<P>), METH_FASTCALL,
     "_sign_internal($self, m_prime, rnd, /)\n--\n\nML-DSA.Sign_internal of M' with the 32 bytes rnd (for "
     "known-answer tests)."},
    {"_sign_mu_internal", KYBER_ALG_FASTCALL(private_sign_mu_internal<P>), METH_FASTCALL,
     "_sign_mu_internal($self, mu, rnd, /)\n--\n\nThe signature of the 64-byte mu with the 32 bytes rnd (for "
     "known-answer tests)."},
    {"private_bytes_raw", private_bytes_raw<P>, METH_NOARGS,
     "private_bytes_raw($self, /)\n--\n\nThe 32-byte seed xi."},
    {"_has_seed", private_has_seed<P>, METH_NOARGS, "_has_seed($self, /)\n--\n\nWhether the seed is known."},
    {"_expanded_bytes", private_expanded_bytes<P>, METH_NOARGS,
     "_expanded_bytes($self, /)\n--\n\nThe FIPS 204 private key encoding skEncode(rho, K, tr, s1, s2, t0)."},
    {"_public_key", private_public_key<P>, METH_O,
     "_public_key($self, cls, /)\n--\n\nThe public key, as an object of cls (the public-key type or a "
     "subclass)."},
    {nullptr, nullptr, 0, nullptr},
};

// --- public keys -----------------------------------------------------------

template <class P>
PyObject* public_from_public_bytes(PyObject* cls, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  static const char* const names[] = {"data"};
  PyObject* data[1];
  if (!kyber_alg::bind_arguments("from_public_bytes()", names, 1, args, nargs, kwnames, data)) return nullptr;
  uint8_t pk[P::pk_bytes];
  if (!read_exact(data[0], pk, P::pk_bytes, "from_public_bytes()", "the public key")) return nullptr;
  Ref self = Ref::steal(new_key_object<PublicKeyObject<P>>(cls));
  if (!self) return nullptr;
  mldsa::read_public_key<P>(as_public<P>(self.get())->key.get(), pk);
  return self.release();
}

// A signature argument: false (not an exception) for a wrong length, since a
// bad signature is reported as such; a wrong type is still a TypeError.
template <class P>
bool read_signature(PyObject* obj, const char* function, uint8_t sig[P::sig_bytes], bool& right_length) {
  ByteView view;
  if (!kyber_alg::read_bytes(obj, function, "signature", view)) return false;
  right_length = kyber_alg::size_of(view) == P::sig_bytes;
  if (right_length) std::memcpy(sig, view.data(), P::sig_bytes);
  return true;
}

// _verify(signature, data, context=None) -> bool (ML-DSA.Verify, Algorithm 3).
template <class P>
PyObject* public_verify(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"signature", "data", "context"};
  PyObject* arg[3];
  if (!kyber_alg::bind_arguments("verify()", names, 2, args, nargs, kwnames, arg)) return nullptr;
  ContextPrefix prefix;
  if (!read_context(arg[2], "verify()", prefix)) return nullptr;
  uint8_t sig[P::sig_bytes];
  bool right_length = false;
  if (!read_signature<P>(arg[0], "verify()", sig, right_length)) return nullptr;
  ByteView data;
  if (!kyber_alg::read_bytes(arg[1], "verify()", "data", data)) return nullptr;
  if (!right_length) Py_RETURN_FALSE;
  const mldsa::PublicKey<P>& pk = as_public<P>(self)->key.get();
  uint8_t mu[64];
  mldsa::message_representative(mu, pk.tr, prefix.bytes, prefix.len, data.data(), kyber_alg::size_of(data));
  return PyBool_FromLong(mldsa::ml_dsa_verify_internal<P>(pk, sig, mu));
}

template <class P>
PyObject* public_verify_mu(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"signature", "mu"};
  PyObject* arg[2];
  if (!kyber_alg::bind_arguments("verify_mu()", names, 2, args, nargs, kwnames, arg)) return nullptr;
  uint8_t sig[P::sig_bytes];
  bool right_length = false;
  if (!read_signature<P>(arg[0], "verify_mu()", sig, right_length)) return nullptr;
  uint8_t mu[64];
  if (!read_exact(arg[1], mu, 64, "verify_mu()", "mu")) return nullptr;
  if (!right_length) Py_RETURN_FALSE;
  return PyBool_FromLong(mldsa::ml_dsa_verify_internal<P>(as_public<P>(self)->key.get(), sig, mu));
}

template <class P>
PyObject* public_verify_internal(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 2) {
    PyErr_Format(PyExc_TypeError, "_verify_internal() takes exactly 2 arguments (%zd given)", nargs);
    return nullptr;
  }
  uint8_t sig[P::sig_bytes];
  bool right_length = false;
  if (!read_signature<P>(args[0], "_verify_internal()", sig, right_length)) return nullptr;
  ByteView message;
  if (!kyber_alg::read_bytes(args[1], "_verify_internal()", "m_prime", message)) return nullptr;
  if (!right_length) Py_RETURN_FALSE;
  const mldsa::PublicKey<P>& pk = as_public<P>(self)->key.get();
  uint8_t mu[64];
  mldsa::message_representative(mu, pk.tr, nullptr, 0, message.data(), kyber_alg::size_of(message));
  return PyBool_FromLong(mldsa::ml_dsa_verify_internal<P>(pk, sig, mu));
}

template <class P>
PyObject* public_bytes_raw(PyObject* self, PyObject*) {
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(as_public<P>(self)->key.get().bytes),
                                   P::pk_bytes);
}

template <class P>
PyObject* public_richcompare(PyObject* self, PyObject* other, int op) {
  PyTypeObject* native = public_type_of<P>(self);
  if (!native) return nullptr;
  if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(other, native)) Py_RETURN_NOTIMPLEMENTED;
  const bool equal = std::memcmp(as_public<P>(self)->key.get().bytes, as_public<P>(other)->key.get().bytes,
                                 P::pk_bytes) == 0;
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
    {"from_public_bytes", KYBER_ALG_FASTCALL(public_from_public_bytes<P>),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS,
     "from_public_bytes($type, data)\n--\n\nThe public key of its FIPS 204 encoding pkEncode(rho, t1)."},
    {"_verify", KYBER_ALG_FASTCALL(public_verify<P>), METH_FASTCALL | METH_KEYWORDS,
     "_verify($self, signature, data, context=None)\n--\n\nWhether signature is an ML-DSA signature of data "
     "under the context."},
    {"_verify_mu", KYBER_ALG_FASTCALL(public_verify_mu<P>), METH_FASTCALL | METH_KEYWORDS,
     "_verify_mu($self, signature, mu)\n--\n\nWhether signature is a signature of the 64-byte mu."},
    {"_verify_internal", KYBER_ALG_FASTCALL(public_verify_internal<P>), METH_FASTCALL,
     "_verify_internal($self, signature, m_prime, /)\n--\n\nML-DSA.Verify_internal of M'."},
    {"public_bytes_raw", public_bytes_raw<P>, METH_NOARGS,
     "public_bytes_raw($self, /)\n--\n\nThe public key encoding pkEncode(rho, t1)."},
    {nullptr, nullptr, 0, nullptr},
};

#undef KYBER_ALG_FASTCALL

// --- types -----------------------------------------------------------------

template <class P>
PyType_Slot private_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(private_dealloc<P>)},
    {Py_tp_methods, private_methods<P>},
    {Py_tp_doc, const_cast<char*>("An ML-DSA private key.")},
    {0, nullptr},
};

template <class P>
PyType_Slot public_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(public_dealloc<P>)},
    {Py_tp_methods, public_methods<P>},
    {Py_tp_richcompare, reinterpret_cast<void*>(public_richcompare<P>)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_tp_doc, const_cast<char*>("An ML-DSA public key.")},
    {0, nullptr},
};

constexpr unsigned long type_flags =
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION;

template <class P>
PyType_Spec private_spec;
template <class P>
PyType_Spec public_spec;

template <>
PyType_Spec private_spec<MlDsa44> = {"kyber_alg._mldsa.MLDSA44PrivateKey", sizeof(PrivateKeyObject<MlDsa44>),
                                     0, type_flags, private_slots<MlDsa44>};
template <>
PyType_Spec private_spec<MlDsa65> = {"kyber_alg._mldsa.MLDSA65PrivateKey", sizeof(PrivateKeyObject<MlDsa65>),
                                     0, type_flags, private_slots<MlDsa65>};
template <>
PyType_Spec private_spec<MlDsa87> = {"kyber_alg._mldsa.MLDSA87PrivateKey", sizeof(PrivateKeyObject<MlDsa87>),
                                     0, type_flags, private_slots<MlDsa87>};
template <>
PyType_Spec public_spec<MlDsa44> = {"kyber_alg._mldsa.MLDSA44PublicKey", sizeof(PublicKeyObject<MlDsa44>), 0,
                                    type_flags, public_slots<MlDsa44>};
template <>
PyType_Spec public_spec<MlDsa65> = {"kyber_alg._mldsa.MLDSA65PublicKey", sizeof(PublicKeyObject<MlDsa65>), 0,
                                    type_flags, public_slots<MlDsa65>};
template <>
PyType_Spec public_spec<MlDsa87> = {"kyber_alg._mldsa.MLDSA87PublicKey", sizeof(PublicKeyObject<MlDsa87>), 0,
                                    type_flags, public_slots<MlDsa87>};

template <class P>
bool add_types(PyObject* module) {
  ModuleState* state = StateSlots::state(module);
  return kyber_alg::add_type(module, private_spec<P>, state->private_types[Set<P>::index]) &&
         kyber_alg::add_type(module, public_spec<P>, state->public_types[Set<P>::index]);
}

// --- module ----------------------------------------------------------------

kyber_alg::Dispatch<mldsa::Kernels>& dispatch() { return mldsa::kernels; }

using Paths = kyber_alg::DispatchFunctions<mldsa::Kernels, dispatch>;

int module_exec(PyObject* module) {
  if (!add_types<MlDsa44>(module) || !add_types<MlDsa65>(module) || !add_types<MlDsa87>(module)) return -1;
  return 0;
}

PyDoc_STRVAR(module_doc,
             "ML-DSA-44, ML-DSA-65 and ML-DSA-87 (FIPS 204) keys, native part of kyber_alg.mldsa.");

PyModuleDef module_def =
    kyber_alg::module_definition<StateSlots, module_exec>("kyber_alg._mldsa", module_doc, Paths::methods);
}  // namespace

PyMODINIT_FUNC PyInit__mldsa(void) { return PyModuleDef_Init(&module_def); }
