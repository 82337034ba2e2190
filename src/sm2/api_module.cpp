// The native module kyber_alg._sm2 behind kyber_alg.sm2: private and public
// key objects over the constant-time SM2 core, with signatures, encryption,
// ECDH and the key exchange. Encodings (DER, PEM, ciphertext layouts) are the
// Python module's; everything here takes and returns raw bytes, positionally.
// Multi-phase initialisation (PEP 489); the curve work runs without the GIL,
// on copies of the caller's buffers or reading each of them once.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cerrno>
#include <cstring>

#include "common/args.hpp"
#include "common/buffer.hpp"
#include "common/ct.hpp"
#include "common/dispatch_functions.hpp"
#include "common/gil.hpp"
#include "common/module_def.hpp"
#include "common/ref.hpp"
#include "sm2/base_mult.hpp"
#include "sm2/ecdh.hpp"
#include "sm2/encryption.hpp"
#include "sm2/kernels.hpp"
#include "sm2/key_exchange.hpp"
#include "sm2/keys.hpp"
#include "sm2/signature.hpp"

namespace sm2 = kyber_alg::sm2;
namespace ct = kyber_alg::ct;
using kyber_alg::ByteView;
using kyber_alg::check_positional;
using kyber_alg::read_bytes;
using kyber_alg::read_fixed;
using kyber_alg::Ref;
using kyber_alg::without_gil;

namespace {

struct ModuleState {
  PyObject* private_key_type;
  PyObject* public_key_type;
  PyObject* decryption_error;
};

using StateSlots = kyber_alg::ModuleStateSlots<&ModuleState::private_key_type, &ModuleState::public_key_type,
                                               &ModuleState::decryption_error>;

struct PublicKeyObject {
  PyObject_HEAD sm2::AffinePoint point;
  uint8_t bytes[sm2::kPointSize];  // x || y
};

struct PrivateKeyObject {
  PyObject_HEAD sm2::SigningKey key;
  PyObject* public_key;  // the PublicKeyObject of d*G
};

PublicKeyObject* as_public(PyObject* self) { return reinterpret_cast<PublicKeyObject*>(self); }
PrivateKeyObject* as_private(PyObject* self) { return reinterpret_cast<PrivateKeyObject*>(self); }

ModuleState* state_of(PyObject* self) {
  return static_cast<ModuleState*>(PyType_GetModuleState(Py_TYPE(self)));
}

PyObject* bytes_of(const uint8_t* data, std::size_t len) {
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(data), static_cast<Py_ssize_t>(len));
}

uint8_t* bytes_data(PyObject* bytes) { return reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(bytes)); }

// --- arguments ----------------------------------------------------------------

bool read_nonce(PyObject* obj, const char* function, sm2::Scalar& k) {
  ct::Wiped<uint8_t[32]> bytes;
  if (!read_fixed(obj, function, "k", bytes.value, 32)) return false;
  k = sm2::scalar_from_bytes(bytes.value);
  if (sm2::scalar_is_nonce(k)) return true;
  PyErr_Format(PyExc_ValueError, "%s: the nonce k is outside [1, n-1]", function);
  return false;
}

bool read_public(PyObject* obj, PyObject* self, const char* function, const char* name,
                 PublicKeyObject*& out) {
  PyObject* type = state_of(self)->public_key_type;
  if (!Py_IS_TYPE(obj, reinterpret_cast<PyTypeObject*>(type))) {
    PyErr_Format(PyExc_TypeError, "%s: %s must be a kyber_alg._sm2.PublicKey, not '%.100s'", function, name,
                 Py_TYPE(obj)->tp_name);
    return false;
  }
  out = as_public(obj);
  return true;
}

PyObject* raise_os_error(int saved_errno) {
  errno = saved_errno;
  return PyErr_SetFromErrno(PyExc_OSError);
}

// --- object construction ---------------------------------------------------------

void public_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

void private_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  ct::wipe_object(as_private(self)->key);
  Py_XDECREF(as_private(self)->public_key);
  type->tp_free(self);
  Py_DECREF(type);
}

// A public key object for a point that has passed decode_point (or was derived).
PyObject* new_public(PyObject* type, const sm2::AffinePoint& point, const uint8_t bytes[sm2::kPointSize]) {
  PublicKeyObject* self = PyObject_New(PublicKeyObject, reinterpret_cast<PyTypeObject*>(type));
  if (!self) return nullptr;
  self->point = point;
  std::memcpy(self->bytes, bytes, sm2::kPointSize);
  return reinterpret_cast<PyObject*>(self);
}

// A private key object for d in range; derives d*G and (1 + d)^-1 without the GIL.
PyObject* new_private(ModuleState* state, const uint8_t d[sm2::kPrivateKeySize]) {
  Ref self = Ref::steal(reinterpret_cast<PyObject*>(
      PyObject_New(PrivateKeyObject, reinterpret_cast<PyTypeObject*>(state->private_key_type))));
  if (!self) return nullptr;
  PrivateKeyObject* key = as_private(self.get());
  key->public_key = nullptr;
  uint8_t pub[sm2::kPointSize];
  without_gil([&] {
    sm2::signing_key_init(key->key, d);
    sm2::derive_public_key(pub, d);
  });
  sm2::AffinePoint point;
  if (sm2::decode_point(point, pub) != sm2::PointCheck::ok) {  // cannot happen for d in range
    PyErr_SetString(PyExc_SystemError, "derived SM2 public key is not on the curve");
    return nullptr;
  }
  key->public_key = new_public(state->public_key_type, point, pub);
  if (!key->public_key) return nullptr;
  return self.release();
}

PyObject* generate(PyObject* module, PyObject*) {
  ct::Wiped<uint8_t[sm2::kPrivateKeySize]> d;
  bool ok;
  int saved_errno = 0;
  without_gil([&] {
    ok = sm2::random_private_key(d.value);
    saved_errno = errno;
  });
  if (!ok) return raise_os_error(saved_errno);
  return new_private(StateSlots::state(module), d.value);
}

PyObject* private_key(PyObject* module, PyObject* arg) {
  ct::Wiped<uint8_t[sm2::kPrivateKeySize]> d;
  if (!read_fixed(arg, "private_key()", "d", d.value, sm2::kPrivateKeySize)) return nullptr;
  if (!sm2::private_key_in_range(d.value)) {
    PyErr_SetString(PyExc_ValueError, "private_key(): the private key is outside [1, n-2]");
    return nullptr;
  }
  return new_private(StateSlots::state(module), d.value);
}

// Decodes x || y; false with ValueError naming the failed check.
bool decode_public(const uint8_t xy[sm2::kPointSize], const char* function, sm2::AffinePoint& point) {
  switch (sm2::decode_point(point, xy)) {
    case sm2::PointCheck::ok:
      return true;
    case sm2::PointCheck::infinity:
      PyErr_Format(PyExc_ValueError, "%s: the point is the point at infinity (all-zero encoding)", function);
      return false;
    case sm2::PointCheck::not_on_curve:
      break;
  }
  PyErr_Format(PyExc_ValueError, "%s: the point is not on the SM2 curve", function);
  return false;
}

PyObject* public_key(PyObject* module, PyObject* arg) {
  uint8_t xy[sm2::kPointSize];
  if (!read_fixed(arg, "public_key()", "x || y", xy, sizeof xy)) return nullptr;
  sm2::AffinePoint point;
  if (!decode_public(xy, "public_key()", point)) return nullptr;
  return new_public(StateSlots::state(module)->public_key_type, point, xy);
}

PyObject* is_point(PyObject*, PyObject* arg) {
  ByteView view;
  if (!read_bytes(arg, "is_point()", "x || y", view)) return nullptr;
  sm2::AffinePoint point;
  const bool ok = view.size() == static_cast<Py_ssize_t>(sm2::kPointSize) &&
                  sm2::decode_point(point, view.data()) == sm2::PointCheck::ok;
  return PyBool_FromLong(ok);
}

// --- private key methods ---------------------------------------------------------

PyObject* private_bytes(PyObject* self, PyObject*) {
  return bytes_of(as_private(self)->key.d_bytes, sm2::kPrivateKeySize);
}

PyObject* private_public_key(PyObject* self, PyObject*) { return Py_NewRef(as_private(self)->public_key); }

// r || s, or its DER SEQUENCE { r, s } when der is set.
PyObject* signature_bytes(const uint8_t signature[sm2::kSignatureSize], bool der) {
  if (!der) return bytes_of(signature, sm2::kSignatureSize);
  uint8_t encoded[sm2::kMaxDerSignatureSize];
  return bytes_of(encoded, sm2::signature_to_der(encoded, signature));
}

// sign(z, data) and sign_der(z, data); function names the Python call in messages, e.g. "sign()".
PyObject* sign_message(PyObject* self, PyObject* const* args, Py_ssize_t nargs, const char* function,
                       bool der) {
  if (!check_positional(function, nargs, 2)) return nullptr;
  uint8_t z[sm2::kDigestSize];
  if (!read_fixed(args[0], function, "z", z, sizeof z)) return nullptr;
  ByteView data;
  if (!read_bytes(args[1], function, "data", data)) return nullptr;
  uint8_t signature[sm2::kSignatureSize];
  bool ok;
  int saved_errno = 0;
  without_gil([&] {
    // The data is read once, by the hash.
    ct::Wiped<uint8_t[sm2::kDigestSize]> e;
    sm2::message_digest(e.value, z, data.data(), static_cast<std::size_t>(data.size()));
    ok = sm2::sign_digest(signature, e.value, as_private(self)->key);
    saved_errno = errno;
  });
  if (!ok) return raise_os_error(saved_errno);
  return signature_bytes(signature, der);
}

PyObject* private_sign(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  return sign_message(self, args, nargs, "sign()", false);
}

PyObject* private_sign_der(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  return sign_message(self, args, nargs, "sign()", true);  // messages name the Python call
}

// sign_digest(digest) and sign_digest_der(digest).
PyObject* sign_given_digest(PyObject* self, PyObject* arg, const char* function, bool der) {
  ct::Wiped<uint8_t[sm2::kDigestSize]> e;
  if (!read_fixed(arg, function, "digest", e.value, sm2::kDigestSize)) return nullptr;
  uint8_t signature[sm2::kSignatureSize];
  bool ok;
  int saved_errno = 0;
  without_gil([&] {
    ok = sm2::sign_digest(signature, e.value, as_private(self)->key);
    saved_errno = errno;
  });
  if (!ok) return raise_os_error(saved_errno);
  return signature_bytes(signature, der);
}

PyObject* private_sign_digest(PyObject* self, PyObject* arg) {
  return sign_given_digest(self, arg, "sign_digest()", false);
}

PyObject* private_sign_digest_der(PyObject* self, PyObject* arg) {
  return sign_given_digest(self, arg, "sign_digest()", true);
}

// _sign_digest_with_nonce(digest, k[, der]): r || s, or DER when der is true.
PyObject* private_sign_with_nonce(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 3 && !check_positional("_sign_digest_with_nonce()", nargs, 2)) return nullptr;
  const int der = nargs == 3 ? PyObject_IsTrue(args[2]) : 0;
  if (der < 0) return nullptr;
  uint8_t e[sm2::kDigestSize];
  if (!read_fixed(args[0], "_sign_digest_with_nonce()", "digest", e, sizeof e)) return nullptr;
  ct::Wiped<sm2::Scalar> k;
  if (!read_nonce(args[1], "_sign_digest_with_nonce()", k.value)) return nullptr;
  uint8_t signature[sm2::kSignatureSize];
  bool ok;
  without_gil([&] { ok = sm2::sign_with_nonce(signature, e, as_private(self)->key, k.value); });
  if (!ok) {
    PyErr_SetString(PyExc_ValueError,
                    "_sign_digest_with_nonce(): this nonce gives r = 0, r + k = n or s = 0");
    return nullptr;
  }
  return signature_bytes(signature, der != 0);
}

PyObject* raise_decryption_error(PyObject* self, sm2::CipherStatus status) {
  const char* why = "the KDF output is all zeros";
  switch (status) {
    case sm2::CipherStatus::c1_infinity:
      why = "C1 is the point at infinity (all-zero encoding)";
      break;
    case sm2::CipherStatus::c1_not_on_curve:
      why = "C1 is not a point on the SM2 curve";
      break;
    case sm2::CipherStatus::c3_mismatch:
      why = "C3 does not match (wrong private key, or a damaged or altered ciphertext)";
      break;
    default:
      break;
  }
  PyErr_Format(state_of(self)->decryption_error, "decryption failed: %s", why);
  return nullptr;
}

// decrypt(c1, c3, c2): C1 as x || y, C3, and C2 (as long as the message).
PyObject* private_decrypt(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_positional("decrypt()", nargs, 3)) return nullptr;
  uint8_t c1[sm2::kPointSize], c3[sm2::kHashSize];
  if (!read_fixed(args[0], "decrypt()", "C1", c1, sizeof c1)) return nullptr;
  if (!read_fixed(args[1], "decrypt()", "C3", c3, sizeof c3)) return nullptr;
  ByteView c2;
  if (!read_bytes(args[2], "decrypt()", "C2", c2)) return nullptr;
  const auto len = static_cast<std::size_t>(c2.size());
  if (len == 0) {
    PyErr_Format(state_of(self)->decryption_error, "decryption failed: C2 is empty");
    return nullptr;
  }
  if (len > sm2::kMaxMessageSize) {
    PyErr_Format(state_of(self)->decryption_error, "decryption failed: C2 is longer than the KDF can cover");
    return nullptr;
  }
  // C2 is copied into the result with the GIL held and decrypted in place. (A new object: given
  // the bytes, PyBytes_FromStringAndSize would return the shared one-character object for one byte.)
  Ref out = Ref::steal(PyBytes_FromStringAndSize(nullptr, c2.size()));
  if (!out) return nullptr;
  uint8_t* message = bytes_data(out.get());
  std::memcpy(message, c2.data(), len);
  const sm2::ConstCiphertextParts in{c1, c3, message};
  sm2::CipherStatus status;
  without_gil([&] { status = sm2::decrypt(message, in, len, as_private(self)->key.d_bytes); });
  if (status != sm2::CipherStatus::ok) return raise_decryption_error(self, status);
  return out.release();
}

PyObject* private_exchange(PyObject* self, PyObject* arg) {
  PublicKeyObject* peer;
  if (!read_public(arg, self, "exchange()", "peer_public_key", peer)) return nullptr;
  uint8_t shared[sm2::kSharedSecretSize];
  without_gil([&] { sm2::ecdh_shared_x(shared, as_private(self)->key.d, peer->point); });
  PyObject* result = bytes_of(shared, sizeof shared);
  ct::wipe(shared, sizeof shared);
  return result;
}

PyObject* private_type(PyObject* self) { return state_of(self)->private_key_type; }

// key_exchange(ephemeral, peer, peer_ephemeral, length, initiator, z_initiator, z_responder)
//   -> (key, own confirmation, expected peer confirmation)
PyObject* private_key_exchange(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  const char* function = "key_exchange()";
  if (!check_positional(function, nargs, 7)) return nullptr;
  if (!Py_IS_TYPE(args[0], reinterpret_cast<PyTypeObject*>(private_type(self)))) {
    PyErr_Format(PyExc_TypeError,
                 "key_exchange(): ephemeral must be a kyber_alg._sm2.PrivateKey, not '%.100s'",
                 Py_TYPE(args[0])->tp_name);
    return nullptr;
  }
  PublicKeyObject *peer, *peer_ephemeral;
  if (!read_public(args[1], self, function, "peer", peer)) return nullptr;
  if (!read_public(args[2], self, function, "peer_ephemeral", peer_ephemeral)) return nullptr;
  if (!PyLong_Check(args[3])) {
    PyErr_Format(PyExc_TypeError, "key_exchange(): length must be int, not '%.100s'",
                 Py_TYPE(args[3])->tp_name);
    return nullptr;
  }
  const Py_ssize_t length = PyLong_AsSsize_t(args[3]);
  if (length == -1 && PyErr_Occurred()) return nullptr;
  if (length < 1 || static_cast<std::size_t>(length) > sm2::kMaxMessageSize) {
    PyErr_SetString(PyExc_ValueError,
                    "key_exchange(): length must be at least 1 and at most 32 * (2^32 - 1)");
    return nullptr;
  }
  const int initiator = PyObject_IsTrue(args[4]);
  if (initiator < 0) return nullptr;
  uint8_t z_initiator[sm2::kDigestSize], z_responder[sm2::kDigestSize];
  if (!read_fixed(args[5], function, "z_initiator", z_initiator, sizeof z_initiator)) return nullptr;
  if (!read_fixed(args[6], function, "z_responder", z_responder, sizeof z_responder)) return nullptr;

  PrivateKeyObject* own = as_private(self);
  PrivateKeyObject* ephemeral = as_private(args[0]);
  Ref key = Ref::steal(PyBytes_FromStringAndSize(nullptr, length));
  if (!key) return nullptr;
  uint8_t own_confirmation[sm2::kConfirmationSize], peer_confirmation[sm2::kConfirmationSize];
  sm2::KeyExchangeStatus status;
  without_gil([&] {
    ct::Wiped<sm2::KeyExchangeInput> in;
    in.value = {initiator != 0,   own->key.d,
                ephemeral->key.d, as_public(ephemeral->public_key)->point,
                peer->point,      peer_ephemeral->point,
                z_initiator,      z_responder};
    status = sm2::key_exchange(in.value, bytes_data(key.get()), static_cast<std::size_t>(length),
                               own_confirmation, peer_confirmation);
  });
  if (status != sm2::KeyExchangeStatus::ok) {
    PyErr_SetString(PyExc_ValueError, "key_exchange(): the shared point is the point at infinity");
    return nullptr;
  }
  Ref own_s = Ref::steal(bytes_of(own_confirmation, sizeof own_confirmation));
  if (!own_s) return nullptr;
  Ref peer_s = Ref::steal(bytes_of(peer_confirmation, sizeof peer_confirmation));
  if (!peer_s) return nullptr;
  return PyTuple_Pack(3, key.get(), own_s.get(), peer_s.get());
}

// --- public key methods ----------------------------------------------------------

PyObject* public_bytes(PyObject* self, PyObject*) {
  return bytes_of(as_public(self)->bytes, sm2::kPointSize);
}

PyObject* public_z(PyObject* self, PyObject* arg) {
  ByteView uid;
  if (!read_bytes(arg, "z()", "uid", uid)) return nullptr;
  if (static_cast<std::size_t>(uid.size()) > sm2::kMaxIdSize) {
    PyErr_Format(PyExc_ValueError, "z(): the user ID is %zd bytes; at most %zu fit its 16-bit bit length",
                 uid.size(), sm2::kMaxIdSize);
    return nullptr;
  }
  uint8_t z[sm2::kDigestSize];
  sm2::user_digest(z, uid.data(), static_cast<std::size_t>(uid.size()), as_public(self)->bytes);
  return bytes_of(z, sizeof z);
}

PyObject* public_verify(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_positional("verify()", nargs, 3)) return nullptr;
  uint8_t z[sm2::kDigestSize], signature[sm2::kSignatureSize];
  if (!read_fixed(args[0], "verify()", "z", z, sizeof z)) return nullptr;
  ByteView data;
  if (!read_bytes(args[1], "verify()", "data", data)) return nullptr;
  if (!read_fixed(args[2], "verify()", "signature", signature, sizeof signature)) return nullptr;
  bool ok;
  without_gil([&] {
    uint8_t e[sm2::kDigestSize];
    sm2::message_digest(e, z, data.data(), static_cast<std::size_t>(data.size()));
    ok = sm2::verify_digest(signature, e, as_public(self)->point);
  });
  return PyBool_FromLong(ok);
}

PyObject* public_verify_digest(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_positional("verify_digest()", nargs, 2)) return nullptr;
  uint8_t e[sm2::kDigestSize], signature[sm2::kSignatureSize];
  if (!read_fixed(args[0], "verify_digest()", "digest", e, sizeof e)) return nullptr;
  if (!read_fixed(args[1], "verify_digest()", "signature", signature, sizeof signature)) return nullptr;
  bool ok;
  without_gil([&] { ok = sm2::verify_digest(signature, e, as_public(self)->point); });
  return PyBool_FromLong(ok);
}

// 04 || x1 || y1 || C3 || C2, or C2 before C3. nonce is null for a fresh one.
PyObject* encrypt_into_bytes(PyObject* self, PyObject* data_obj, PyObject* order, const sm2::Scalar* nonce,
                             const char* function) {
  ByteView data;
  if (!read_bytes(data_obj, function, "data", data)) return nullptr;
  const auto len = static_cast<std::size_t>(data.size());
  if (len == 0) {
    PyErr_Format(PyExc_ValueError, "%s: the message is empty (SM2 encrypts one byte or more)", function);
    return nullptr;
  }
  if (len > sm2::kMaxMessageSize) {
    PyErr_Format(PyExc_ValueError, "%s: the message is longer than the KDF can cover", function);
    return nullptr;
  }
  const int c2_before_c3 = PyObject_IsTrue(order);
  if (c2_before_c3 < 0) return nullptr;
  Ref out = Ref::steal(
      PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(1 + sm2::kCiphertextOverhead + len)));
  if (!out) return nullptr;
  // The message is read twice (C2 and C3), so it is copied first.
  uint8_t* message = static_cast<uint8_t*>(PyMem_Malloc(len));
  if (!message) return PyErr_NoMemory();
  std::memcpy(message, data.data(), len);
  uint8_t* c = bytes_data(out.get());
  c[0] = 0x04;
  uint8_t* after_c1 = c + 1 + sm2::kPointSize;
  const sm2::CiphertextParts parts = c2_before_c3
                                         ? sm2::CiphertextParts{c + 1, after_c1 + len, after_c1}
                                         : sm2::CiphertextParts{c + 1, after_c1, after_c1 + sm2::kHashSize};
  const sm2::AffinePoint& point = as_public(self)->point;
  sm2::CipherStatus status;
  int saved_errno = 0;
  without_gil([&] {
    status = nonce ? sm2::encrypt_with_nonce(parts, message, len, point, *nonce)
                   : sm2::encrypt(parts, message, len, point);
    saved_errno = errno;
    ct::wipe(message, len);
  });
  PyMem_Free(message);
  if (status == sm2::CipherStatus::random_failed) return raise_os_error(saved_errno);
  if (status != sm2::CipherStatus::ok) {
    PyErr_Format(PyExc_ValueError, "%s: the KDF output is all zeros for this nonce", function);
    return nullptr;
  }
  return out.release();
}

PyObject* public_encrypt(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_positional("encrypt()", nargs, 2)) return nullptr;
  return encrypt_into_bytes(self, args[0], args[1], nullptr, "encrypt()");
}

PyObject* public_encrypt_with_nonce(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_positional("_encrypt_with_nonce()", nargs, 3)) return nullptr;
  ct::Wiped<sm2::Scalar> k;
  if (!read_nonce(args[1], "_encrypt_with_nonce()", k.value)) return nullptr;
  return encrypt_into_bytes(self, args[0], args[2], &k.value, "_encrypt_with_nonce()");
}

// --- tables ----------------------------------------------------------------------

PyMethodDef private_methods[] = {
    {"private_bytes", private_bytes, METH_NOARGS, "private_bytes($self, /)\n--\n\nd, 32 bytes big-endian."},
    {"public_key", private_public_key, METH_NOARGS, "public_key($self, /)\n--\n\nThe PublicKey d*G."},
    {"sign", kyber_alg::as_method<private_sign>(), METH_FASTCALL,
     "sign($self, z, data, /)\n--\n\nr || s for e = SM3(z || data), with a hedged nonce."},
    {"sign_der", kyber_alg::as_method<private_sign_der>(), METH_FASTCALL,
     "sign_der($self, z, data, /)\n--\n\nAs sign(), DER SEQUENCE { INTEGER r, INTEGER s }."},
    {"sign_digest", private_sign_digest, METH_O,
     "sign_digest($self, digest, /)\n--\n\nr || s for e = digest."},
    {"sign_digest_der", private_sign_digest_der, METH_O,
     "sign_digest_der($self, digest, /)\n--\n\nAs sign_digest(), DER SEQUENCE { INTEGER r, INTEGER s }."},
    {"_sign_digest_with_nonce", kyber_alg::as_method<private_sign_with_nonce>(), METH_FASTCALL,
     "_sign_digest_with_nonce($self, digest, k, der=False, /)\n--\n\nFor tests only: r || s (or DER) with "
     "the "
     "given nonce k."},
    {"decrypt", kyber_alg::as_method<private_decrypt>(), METH_FASTCALL,
     "decrypt($self, c1, c3, c2, /)\n--\n\nThe message of C1 (x || y), C3 and C2; DecryptionError on "
     "failure."},
    {"exchange", private_exchange, METH_O,
     "exchange($self, peer_public_key, /)\n--\n\nECDH: x(d * Q), 32 bytes."},
    {"key_exchange", kyber_alg::as_method<private_key_exchange>(), METH_FASTCALL,
     "key_exchange($self, ephemeral, peer, peer_ephemeral, length, initiator, z_initiator, z_responder, /)\n"
     "--\n\nGB/T 32918.3: (key, own confirmation value, expected peer confirmation value)."},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef public_methods[] = {
    {"public_bytes", public_bytes, METH_NOARGS, "public_bytes($self, /)\n--\n\nx || y, 64 bytes."},
    {"z", public_z, METH_O, "z($self, uid, /)\n--\n\nZ = SM3(ENTL || ID || a || b || xG || yG || x || y)."},
    {"verify", kyber_alg::as_method<public_verify>(), METH_FASTCALL,
     "verify($self, z, data, signature, /)\n--\n\nTrue if r || s signs SM3(z || data)."},
    {"verify_digest", kyber_alg::as_method<public_verify_digest>(), METH_FASTCALL,
     "verify_digest($self, digest, signature, /)\n--\n\nTrue if r || s signs the digest."},
    {"encrypt", kyber_alg::as_method<public_encrypt>(), METH_FASTCALL,
     "encrypt($self, data, c2_before_c3, /)\n--\n\n04 || C1 || C3 || C2 (or C2 before C3)."},
    {"_encrypt_with_nonce", kyber_alg::as_method<public_encrypt_with_nonce>(), METH_FASTCALL,
     "_encrypt_with_nonce($self, data, k, c2_before_c3, /)\n--\n\nFor tests only: encrypt with the nonce k."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot private_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(private_dealloc)},
    {Py_tp_methods, private_methods},
    {Py_tp_doc, const_cast<char*>("An SM2 private key d in [1, n-2] (made by generate() or private_key()).")},
    {0, nullptr},
};

PyType_Slot public_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(public_dealloc)},
    {Py_tp_methods, public_methods},
    {Py_tp_doc, const_cast<char*>("An SM2 public key: a point of sm2p256v1 (made by public_key()).")},
    {0, nullptr},
};

PyType_Spec private_spec = {
    .name = "kyber_alg._sm2.PrivateKey",
    .basicsize = sizeof(PrivateKeyObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    .slots = private_slots,
};

PyType_Spec public_spec = {
    .name = "kyber_alg._sm2.PublicKey",
    .basicsize = sizeof(PublicKeyObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    .slots = public_slots,
};

using Paths = kyber_alg::DispatchFunctions<sm2::Kernels, sm2::kernels>;

PyMethodDef module_methods[] = {
    Paths::backend_method,
    Paths::available_method,
    Paths::set_method,
    {"generate", generate, METH_NOARGS,
     "generate($module, /)\n--\n\nA new PrivateKey, d uniform in [1, n-2]."},
    {"private_key", private_key, METH_O,
     "private_key($module, d, /)\n--\n\nThe PrivateKey of 32 big-endian bytes d in [1, n-2]."},
    {"public_key", public_key, METH_O,
     "public_key($module, xy, /)\n--\n\nThe PublicKey of x || y (64 bytes), checked to be on the curve."},
    {"is_point", is_point, METH_O,
     "is_point($module, xy, /)\n--\n\nTrue if xy is 64 bytes x || y of a curve point other than infinity."},
    {nullptr, nullptr, 0, nullptr},
};

int module_exec(PyObject* module) {
  ModuleState* state = StateSlots::state(module);
  if (!kyber_alg::add_type(module, public_spec, state->public_key_type) ||
      !kyber_alg::add_type(module, private_spec, state->private_key_type))
    return -1;
  state->decryption_error = PyErr_NewExceptionWithDoc(
      "kyber_alg._sm2.DecryptionError",
      "SM2 decryption failed: C1 is not a curve point, the KDF output is all zeros, or C3 does not match.",
      PyExc_ValueError, nullptr);
  if (!state->decryption_error) return -1;
  if (!kyber_alg::add_object(module, state->decryption_error, {"DecryptionError"})) return -1;
  sm2::prepare_base_table();
  return 0;
}

PyDoc_STRVAR(module_doc,
             "Native SM2 (GB/T 32918) on sm2p256v1 behind kyber_alg.sm2: keys, signatures,\n"
             "encryption, ECDH and the key exchange, constant time for every secret.");

PyModuleDef module_def =
    kyber_alg::module_definition<StateSlots, module_exec>("kyber_alg._sm2", module_doc, module_methods);

}  // namespace

PyMODINIT_FUNC PyInit__sm2(void) { return PyModuleDef_Init(&module_def); }
