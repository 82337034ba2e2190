// The Python module kyber_alg.sm.SM2: pysmx.SM2's encryption surface
// (generate_keypair, Encrypt, Decrypt) over the native curve arithmetic.
// Multi-phase initialisation (PEP 489); the curve work runs without the GIL.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cerrno>
#include <cstring>

#include "common/args.hpp"
#include "common/buffer.hpp"
#include "common/ct.hpp"
#include "common/dispatch_functions.hpp"
#include "common/gil.hpp"
#include "common/hex.hpp"
#include "common/module_def.hpp"
#include "common/ref.hpp"
#include "sm2/base_mult.hpp"
#include "sm2/encryption.hpp"
#include "sm2/kernels.hpp"
#include "sm2/keys.hpp"

namespace sm2 = kyber_alg::sm2;
using kyber_alg::ByteView;
using kyber_alg::Ref;
using kyber_alg::without_gil;

namespace {

constexpr long kLengthParameter = 64;  // hex digits per coordinate, as pysmx counts

struct ModuleState {
  PyTypeObject* key_pair_type;
};

using StateSlots = kyber_alg::ModuleStateSlots<&ModuleState::key_pair_type>;

// --- argument reading -------------------------------------------------------

void not_a_digit(const char* function, const char* name, std::size_t position) {
  PyErr_Format(PyExc_ValueError,
               "%s(): %s contains a character that is not a hexadecimal digit (position %zu)", function, name,
               position);
}

// Decodes hexadecimal text (bytes.fromhex()'s rules: pairs of digits, ASCII
// whitespace between them) in constant time: a private key may be among it.
Ref decode_hex(const uint8_t* chars, std::size_t len, const char* function, const char* name) {
  Ref out = Ref::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(len / 2)));
  if (!out) return out;
  auto* bytes = reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(out.get()));
  std::size_t error_at = 0;
  const std::ptrdiff_t decoded = kyber_alg::hex::decode_text(bytes, chars, len, error_at);
  if (decoded < 0) {
    kyber_alg::ct::wipe(bytes, len / 2);
    if (error_at == len)
      PyErr_Format(PyExc_ValueError,
                   "%s(): %s has an odd number of hexadecimal digits (bytes.fromhex() reads them in pairs)",
                   function, name);
    else
      not_a_digit(function, name, error_at);
    return {};
  }
  const auto size = static_cast<std::size_t>(decoded);
  if (size == len / 2) return out;
  kyber_alg::ct::wipe(bytes + size, len / 2 - size);  // whitespace left room for more
  PyObject* resized = out.release();
  if (_PyBytes_Resize(&resized, static_cast<Py_ssize_t>(size)) < 0) return {};
  return Ref::steal(resized);
}

// Bytes from hexadecimal text given as str or as ASCII in a bytes-like object
// (strided views read like any other).
Ref bytes_from_hex(PyObject* text, const char* function, const char* name) {
  if (PyUnicode_Check(text)) {
    const Py_ssize_t len = PyUnicode_GET_LENGTH(text);
    if (PyUnicode_IS_ASCII(text))
      return decode_hex(PyUnicode_1BYTE_DATA(text), static_cast<std::size_t>(len), function, name);
    // Reported at the first non-ASCII character, as bytes.fromhex() does.
    const int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    Py_ssize_t i = 0;
    while (i < len && PyUnicode_READ(kind, data, i) < 0x80) ++i;
    not_a_digit(function, name, static_cast<std::size_t>(i));
    return {};
  }
  if (!PyObject_CheckBuffer(text)) {
    PyErr_Format(PyExc_TypeError,
                 "%s(): %s must be str or a bytes-like object of hexadecimal text, not '%.100s'", function,
                 name, Py_TYPE(text)->tp_name);
    return {};
  }
  ByteView view;
  if (!view.acquire(text)) return {};
  return decode_hex(view.data(), static_cast<std::size_t>(view.size()), function, name);
}

// A key or ciphertext argument: a bytes-like object holds the raw bytes, a
// str (or any object when hex is set) hexadecimal text. `owned` keeps the
// decoded bytes alive while `view` reads them.
bool read_binary(PyObject* obj, bool hex, const char* function, const char* name, Ref& owned,
                 ByteView& view) {
  if (hex || PyUnicode_Check(obj)) {
    owned = bytes_from_hex(obj, function, name);
    if (!owned) return false;
    obj = owned.get();
  } else if (!PyObject_CheckBuffer(obj)) {
    PyErr_Format(PyExc_TypeError, "%s(): %s must be a bytes-like object or a hexadecimal str, not '%.100s'",
                 function, name, Py_TYPE(obj)->tp_name);
    return false;
  }
  return view.acquire(obj);
}

bool check_length(const ByteView& view, std::size_t expected, const char* function, const char* what) {
  if (view.size() == static_cast<Py_ssize_t>(expected)) return true;
  PyErr_Format(PyExc_ValueError, "%s(): %s must be %zu bytes (%zu hexadecimal characters), got %zd bytes",
               function, what, expected, 2 * expected, view.size());
  return false;
}

bool read_public_key(PyObject* obj, const char* function, sm2::AffinePoint& out) {
  Ref owned;
  ByteView view;
  if (!read_binary(obj, false, function, "PA", owned, view)) return false;
  if (!check_length(view, sm2::kPointSize, function, "the public key PA (x || y)")) return false;
  switch (sm2::decode_point(out, view.data())) {
    case sm2::PointCheck::ok:
      return true;
    case sm2::PointCheck::infinity:
      PyErr_Format(PyExc_ValueError, "%s(): the public key is the point at infinity (all-zero encoding)",
                   function);
      return false;
    case sm2::PointCheck::not_on_curve:
      break;
  }
  PyErr_Format(PyExc_ValueError, "%s(): the public key is not a point on the SM2 curve", function);
  return false;
}

bool read_private_key(PyObject* obj, const char* function, uint8_t out[sm2::kPrivateKeySize]) {
  Ref owned;
  ByteView view;
  if (!read_binary(obj, false, function, "DA", owned, view)) return false;
  const bool sized = check_length(view, sm2::kPrivateKeySize, function, "the private key DA");
  if (sized) std::memcpy(out, view.data(), sm2::kPrivateKeySize);
  // Bytes decoded from hexadecimal text are this function's alone: clear them.
  if (owned)
    kyber_alg::ct::wipe(PyBytes_AS_STRING(owned.get()),
                        static_cast<std::size_t>(PyBytes_GET_SIZE(owned.get())));
  if (!sized) return false;
  if (sm2::private_key_in_range(out)) return true;
  PyErr_Format(PyExc_ValueError, "%s(): the private key is outside [1, n-2]", function);
  return false;
}

// The message M: raw bytes, text in `encoding`, or hexadecimal text.
bool read_message(PyObject* obj, bool hex, PyObject* encoding, const char* function, Ref& owned,
                  ByteView& view) {
  if (hex) {
    owned = bytes_from_hex(obj, function, "M");
    if (!owned) return false;
    obj = owned.get();
  } else if (PyUnicode_Check(obj)) {
    const char* codec = PyUnicode_AsUTF8(encoding);
    if (!codec) return false;
    owned = Ref::steal(PyUnicode_AsEncodedString(obj, codec, "strict"));
    if (!owned) return false;
    obj = owned.get();
  } else if (!PyObject_CheckBuffer(obj)) {
    PyErr_Format(PyExc_TypeError, "%s(): M must be str or a bytes-like object, not '%.100s'", function,
                 Py_TYPE(obj)->tp_name);
    return false;
  }
  if (!view.acquire(obj)) return false;
  if (view.size() == 0) {
    PyErr_Format(PyExc_ValueError, "%s(): the message is empty (SM2 encrypts one byte or more)", function);
    return false;
  }
  if (static_cast<std::size_t>(view.size()) > sm2::kMaxMessageSize) {
    PyErr_Format(PyExc_ValueError, "%s(): the message is longer than the KDF can cover", function);
    return false;
  }
  return true;
}

bool check_length_parameter(PyObject* obj, const char* function, const char* name) {
  if (!PyLong_Check(obj) || PyBool_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "%s(): %s must be int, not '%.100s'", function, name,
                 Py_TYPE(obj)->tp_name);
    return false;
  }
  const long value = PyLong_AsLong(obj);
  if (value == -1 && PyErr_Occurred()) PyErr_Clear();
  if (value == kLengthParameter) return true;
  PyErr_Format(PyExc_ValueError,
               "%s(): %s must be 64 (hexadecimal digits per coordinate of sm2p256v1), got %R", function, name,
               obj);
  return false;
}

bool check_hash_algorithm(PyObject* obj, const char* function) {
  if (PyUnicode_Check(obj)) {
    Ref lower = Ref::steal(PyObject_CallMethod(obj, "lower", nullptr));
    if (!lower) return false;
    if (PyUnicode_CompareWithASCIIString(lower.get(), "sm3") == 0) return true;
  }
  PyErr_Format(PyExc_ValueError, "%s(): hash_algorithm must be 'sm3' (the only hash supported), got %R",
               function, obj);
  return false;
}

// True for C1C2C3 order, false for C1C3C2; -1 with an exception otherwise.
int read_mode(PyObject* obj, const char* function) {
  if (PyUnicode_Check(obj)) {
    if (PyUnicode_CompareWithASCIIString(obj, "C1C3C2") == 0) return 0;
    if (PyUnicode_CompareWithASCIIString(obj, "C1C2C3") == 0) return 1;
  }
  PyErr_Format(PyExc_ValueError, "%s(): mode must be 'C1C3C2' or 'C1C2C3', got %R", function, obj);
  return -1;
}

bool check_encoding(PyObject* obj, const char* function) {
  if (PyUnicode_Check(obj)) return true;
  PyErr_Format(PyExc_TypeError, "%s(): encoding must be str, not '%.100s'", function, Py_TYPE(obj)->tp_name);
  return false;
}

// The trailing arguments Encrypt and Decrypt share with pysmx, as
// PyArg_ParseTupleAndKeywords leaves them (null: not given).
struct CipherOptions {
  PyObject* len_para = nullptr;
  PyObject* hexstr = Py_False;
  PyObject* encoding = nullptr;
  PyObject* hash_algorithm = nullptr;
  PyObject* mode = nullptr;
};

// Checks the options in the order given; false, with an exception, at the first one that is wrong.
bool read_cipher_options(const CipherOptions& given, const char* function, bool& hex, bool& c2_before_c3) {
  if (!check_length_parameter(given.len_para, function, "len_para")) return false;
  if (given.encoding && !check_encoding(given.encoding, function)) return false;
  if (given.hash_algorithm && !check_hash_algorithm(given.hash_algorithm, function)) return false;
  const int order = given.mode ? read_mode(given.mode, function) : 0;
  if (order < 0) return false;
  const int truth = PyObject_IsTrue(given.hexstr);
  if (truth < 0) return false;
  hex = truth != 0;
  c2_before_c3 = order != 0;
  return true;
}

sm2::CiphertextParts parts_of(uint8_t* c, std::size_t message_len, bool c2_before_c3) {
  uint8_t* after_c1 = c + sm2::kPointSize;
  if (c2_before_c3) return {c, after_c1 + message_len, after_c1};
  return {c, after_c1, after_c1 + sm2::kHashSize};
}

// --- errors -------------------------------------------------------------------

PyObject* raise_cipher_error(sm2::CipherStatus status, int saved_errno, const char* function) {
  switch (status) {
    case sm2::CipherStatus::random_failed:
      errno = saved_errno;
      return PyErr_SetFromErrno(PyExc_OSError);
    case sm2::CipherStatus::kdf_zero:
      PyErr_Format(PyExc_ValueError, "%s(): the KDF output is all zeros", function);
      return nullptr;
    case sm2::CipherStatus::c1_infinity:
      PyErr_Format(PyExc_ValueError, "%s(): C1 is the point at infinity (all-zero encoding)", function);
      return nullptr;
    case sm2::CipherStatus::c1_not_on_curve:
      PyErr_Format(PyExc_ValueError, "%s(): C1 is not a point on the SM2 curve", function);
      return nullptr;
    case sm2::CipherStatus::c3_mismatch:
      // Also an all-zero KDF output: decryption reports both alike.
      PyErr_Format(PyExc_ValueError,
                   "%s(): C3 does not match, or the KDF output is all zeros (wrong private key, or a "
                   "damaged or altered ciphertext)",
                   function);
      return nullptr;
    case sm2::CipherStatus::ok:
      break;
  }
  Py_UNREACHABLE();
}

// --- functions ------------------------------------------------------------------

PyObject* generate_keypair(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"len_param", nullptr};
  PyObject* len_param = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:generate_keypair", const_cast<char**>(keywords),
                                   &len_param))
    return nullptr;
  if (len_param && !check_length_parameter(len_param, "generate_keypair", "len_param")) return nullptr;

  kyber_alg::ct::Wiped<uint8_t[sm2::kPrivateKeySize]> d;
  uint8_t pub[sm2::kPointSize];
  bool ok;
  int saved_errno = 0;
  without_gil([&] {
    ok = sm2::random_private_key(d.value);
    if (ok) sm2::derive_public_key(pub, d.value);
    saved_errno = errno;
  });
  if (!ok) {
    errno = saved_errno;
    return PyErr_SetFromErrno(PyExc_OSError);
  }
  Ref public_key = Ref::steal(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(pub), sizeof pub));
  if (!public_key) return nullptr;
  Ref private_key =
      Ref::steal(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(d.value), sm2::kPrivateKeySize));
  if (!private_key) return nullptr;
  Ref pair = Ref::steal(PyStructSequence_New(StateSlots::state(module)->key_pair_type));
  if (!pair) return nullptr;
  PyStructSequence_SetItem(pair.get(), 0, public_key.release());
  PyStructSequence_SetItem(pair.get(), 1, private_key.release());
  return pair.release();
}

// Shared by Encrypt and _encrypt_with_nonce: allocates C and fills it
// without the GIL. nonce is null for a fresh random one.
PyObject* encrypt_into_bytes(const ByteView& message, const sm2::AffinePoint& public_key, bool c2_before_c3,
                             const sm2::Scalar* nonce, const char* function) {
  const std::size_t len = static_cast<std::size_t>(message.size());
  Ref out =
      Ref::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(sm2::kCiphertextOverhead + len)));
  if (!out) return nullptr;
  const sm2::CiphertextParts parts =
      parts_of(reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(out.get())), len, c2_before_c3);
  sm2::CipherStatus status;
  int saved_errno = 0;
  without_gil([&] {
    status = nonce ? sm2::encrypt_with_nonce(parts, message.data(), len, public_key, *nonce)
                   : sm2::encrypt(parts, message.data(), len, public_key);
    saved_errno = errno;
  });
  if (status != sm2::CipherStatus::ok) return raise_cipher_error(status, saved_errno, function);
  return out.release();
}

PyObject* encrypt(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"M",    "PA",   "len_para", "Hexstr", "encoding", "hash_algorithm",
                                   "mode", nullptr};
  PyObject *m_obj, *pa_obj;
  CipherOptions options;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|OOOO:Encrypt", const_cast<char**>(keywords), &m_obj,
                                   &pa_obj, &options.len_para, &options.hexstr, &options.encoding,
                                   &options.hash_algorithm, &options.mode))
    return nullptr;
  bool hex = false, c2_before_c3 = false;
  if (!read_cipher_options(options, "Encrypt", hex, c2_before_c3)) return nullptr;

  PyObject* encoding = options.encoding;
  Ref default_encoding;
  if (!encoding) {
    default_encoding = Ref::steal(PyUnicode_FromString("utf-8"));
    if (!default_encoding) return nullptr;
    encoding = default_encoding.get();
  }
  Ref owned_message;
  ByteView message;
  if (!read_message(m_obj, hex, encoding, "Encrypt", owned_message, message)) return nullptr;
  sm2::AffinePoint public_key;
  if (!read_public_key(pa_obj, "Encrypt", public_key)) return nullptr;
  return encrypt_into_bytes(message, public_key, c2_before_c3, nullptr, "Encrypt");
}

PyObject* decrypt(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"C",    "DA",   "len_para", "Hexstr", "encoding", "hash_algorithm",
                                   "mode", nullptr};
  PyObject *c_obj, *da_obj;
  CipherOptions options;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|OOOO:Decrypt", const_cast<char**>(keywords), &c_obj,
                                   &da_obj, &options.len_para, &options.hexstr, &options.encoding,
                                   &options.hash_algorithm, &options.mode))
    return nullptr;
  bool hex = false, c2_before_c3 = false;
  if (!read_cipher_options(options, "Decrypt", hex, c2_before_c3)) return nullptr;

  Ref owned_ciphertext;
  ByteView ciphertext;
  if (!read_binary(c_obj, hex, "Decrypt", "C", owned_ciphertext, ciphertext)) return nullptr;
  const std::size_t total = static_cast<std::size_t>(ciphertext.size());
  if (total <= sm2::kCiphertextOverhead) {
    PyErr_Format(
        PyExc_ValueError,
        "Decrypt(): the ciphertext is too short: %zu bytes, need at least %zu (C1 64, C3 32, C2 1 or more)",
        total, sm2::kCiphertextOverhead + 1);
    return nullptr;
  }
  kyber_alg::ct::Wiped<uint8_t[sm2::kPrivateKeySize]> d;
  if (!read_private_key(da_obj, "Decrypt", d.value)) return nullptr;

  const std::size_t len = total - sm2::kCiphertextOverhead;
  Ref out = Ref::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(len)));
  if (!out) return nullptr;
  const sm2::CiphertextParts parts = parts_of(const_cast<uint8_t*>(ciphertext.data()), len, c2_before_c3);
  const sm2::ConstCiphertextParts in{parts.c1, parts.c3, parts.c2};
  uint8_t* message = reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(out.get()));
  sm2::CipherStatus status;
  without_gil([&] { status = sm2::decrypt(message, in, len, d.value); });
  if (status != sm2::CipherStatus::ok) return raise_cipher_error(status, 0, "Decrypt");
  return out.release();
}

PyObject* encrypt_with_nonce(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"M", "PA", "k", "mode", nullptr};
  PyObject *m_obj, *pa_obj, *k_obj, *mode = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|O:_encrypt_with_nonce", const_cast<char**>(keywords),
                                   &m_obj, &pa_obj, &k_obj, &mode))
    return nullptr;
  const int c2_before_c3 = mode ? read_mode(mode, "_encrypt_with_nonce") : 0;
  if (c2_before_c3 < 0) return nullptr;
  Ref owned_message;
  ByteView message;
  if (!kyber_alg::read_bytes(m_obj, "_encrypt_with_nonce()", "M", message)) return nullptr;
  if (!read_message(m_obj, false, nullptr, "_encrypt_with_nonce", owned_message, message)) return nullptr;
  sm2::AffinePoint public_key;
  if (!read_public_key(pa_obj, "_encrypt_with_nonce", public_key)) return nullptr;
  Ref owned_k;
  ByteView k_view;
  if (!read_binary(k_obj, false, "_encrypt_with_nonce", "k", owned_k, k_view)) return nullptr;
  if (!check_length(k_view, 32, "_encrypt_with_nonce", "the nonce k")) return nullptr;
  kyber_alg::ct::Wiped<sm2::Scalar> k;
  k.value = sm2::scalar_from_bytes(k_view.data());
  if (!sm2::scalar_is_nonce(k.value)) {
    PyErr_SetString(PyExc_ValueError, "_encrypt_with_nonce(): the nonce k is outside [1, n-1]");
    return nullptr;
  }
  return encrypt_into_bytes(message, public_key, c2_before_c3 != 0, &k.value, "_encrypt_with_nonce");
}

PyObject* public_key_of(PyObject*, PyObject* arg) {
  kyber_alg::ct::Wiped<uint8_t[sm2::kPrivateKeySize]> d;
  if (!read_private_key(arg, "_public_key", d.value)) return nullptr;
  uint8_t pub[sm2::kPointSize];
  without_gil([&] { sm2::derive_public_key(pub, d.value); });
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(pub), sizeof pub);
}

// --- module ------------------------------------------------------------------

PyDoc_STRVAR(generate_keypair_doc,
             "generate_keypair($module, /, len_param=64)\n--\n\n"
             "Generate an SM2 key pair on sm2p256v1 from getrandom.\n\n"
             "Returns KeyPair(publicKey, privateKey): the 64-byte public key x || y\n"
             "(big-endian, no 04 prefix) and the 32-byte private key d, uniform in\n"
             "[1, n-2]. len_param must be 64. Raises OSError if the system CSPRNG fails.");

PyDoc_STRVAR(encrypt_doc,
             "Encrypt($module, /, M, PA, len_para, Hexstr=0, encoding='utf-8', hash_algorithm='sm3',\n"
             "        mode='C1C3C2')\n--\n\n"
             "SM2-encrypt the message M to the public key PA (GB/T 32918.4).\n\n"
             "M is bytes-like, or str encoded with `encoding`; with Hexstr true it is\n"
             "hexadecimal text. PA is the 64-byte public key x || y (bytes-like) or its\n"
             "128 hexadecimal characters. len_para must be 64. Returns the ciphertext\n"
             "bytes C1 || C3 || C2 (mode 'C1C3C2') or C1 || C2 || C3 (mode 'C1C2C3'),\n"
             "96 bytes longer than the message. The nonce is uniform in [1, n-1] from\n"
             "getrandom (OSError if that fails). Raises ValueError if PA is the point at\n"
             "infinity or not on the curve, or if M is empty.");

PyDoc_STRVAR(decrypt_doc,
             "Decrypt($module, /, C, DA, len_para, Hexstr=0, encoding='utf-8', hash_algorithm='sm3',\n"
             "        mode='C1C3C2')\n--\n\n"
             "SM2-decrypt the ciphertext C with the private key DA (GB/T 32918.4).\n\n"
             "C is bytes-like, or hexadecimal text (a str, or anything with Hexstr\n"
             "true); DA is the 32-byte private key or its 64 hexadecimal characters.\n"
             "len_para must be 64; encoding is accepted and unused. Returns the\n"
             "message bytes. Raises ValueError, naming the failed check, if C is too\n"
             "short, C1 is not on the curve, or DA is outside [1, n-2]; and one message\n"
             "for both integrity failures (C3 does not match, or the KDF output is all\n"
             "zeros), which a caller cannot tell apart.");

PyDoc_STRVAR(encrypt_with_nonce_doc,
             "_encrypt_with_nonce($module, /, M, PA, k, mode='C1C3C2')\n--\n\n"
             "For tests only: Encrypt with the given 32-byte big-endian nonce k in\n"
             "[1, n-1] instead of a random one (deterministic; never reuse a nonce).\n"
             "M is bytes-like. Raises ValueError if the KDF output is all zeros.");

PyDoc_STRVAR(public_key_doc,
             "_public_key($module, DA, /)\n--\n\n"
             "For tests only: the 64-byte public key d*G of the private key DA.");

using Paths = kyber_alg::DispatchFunctions<sm2::Kernels, sm2::kernels>;

PyMethodDef methods[] = {
    Paths::backend_method,
    Paths::available_method,
    Paths::set_method,
    {"generate_keypair", kyber_alg::as_method<generate_keypair>(), METH_VARARGS | METH_KEYWORDS,
     generate_keypair_doc},
    {"Encrypt", kyber_alg::as_method<encrypt>(), METH_VARARGS | METH_KEYWORDS, encrypt_doc},
    {"Decrypt", kyber_alg::as_method<decrypt>(), METH_VARARGS | METH_KEYWORDS, decrypt_doc},
    {"_encrypt_with_nonce", kyber_alg::as_method<encrypt_with_nonce>(), METH_VARARGS | METH_KEYWORDS,
     encrypt_with_nonce_doc},
    {"_public_key", public_key_of, METH_O, public_key_doc},
    {nullptr, nullptr, 0, nullptr},
};

PyStructSequence_Field key_pair_fields[] = {
    {"publicKey", "the 64-byte public key x || y"},
    {"privateKey", "the 32-byte private key d"},
    {nullptr, nullptr},
};

PyStructSequence_Desc key_pair_desc = {
    "kyber_alg.sm.SM2.KeyPair",
    "An SM2 key pair (publicKey, privateKey), both bytes.",
    key_pair_fields,
    2,
};

int module_exec(PyObject* module) {
  ModuleState* state = StateSlots::state(module);
  state->key_pair_type = PyStructSequence_NewType(&key_pair_desc);
  if (!state->key_pair_type) return -1;
  if (!kyber_alg::add_object(module, reinterpret_cast<PyObject*>(state->key_pair_type), {"KeyPair"}))
    return -1;
  // The table of multiples of G, built once here rather than in the first call.
  sm2::prepare_base_table();
  return 0;
}

PyDoc_STRVAR(module_doc,
             "SM2 public-key encryption (GB/T 32918.4) on sm2p256v1, native and constant time.\n\n"
             "A drop-in for the encryption part of pysmx.SM2, with the same formats:\n"
             "generate_keypair(64) -> KeyPair(publicKey, privateKey)\n"
             "Encrypt(M, PA, 64) -> C1 || C3 || C2\n"
             "Decrypt(C, DA, 64) -> M\n"
             "Where pysmx returns None or accepts bad input, this module raises ValueError.");

PyModuleDef module_def =
    kyber_alg::module_definition<StateSlots, module_exec>("kyber_alg.sm.SM2", module_doc, methods);

}  // namespace

PyMODINIT_FUNC PyInit_SM2(void) { return PyModuleDef_Init(&module_def); }
