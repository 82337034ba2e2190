// The Python module kyber_alg.Kyber: argument checking, hex conversion and
// the calls into ML-KEM. Multi-phase initialisation (PEP 489).
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>
#include <utility>

#include "common/args.hpp"
#include "common/buffer.hpp"
#include "common/cpu.hpp"
#include "common/ct.hpp"
#include "common/dispatch_functions.hpp"
#include "common/hex.hpp"
#include "common/module_def.hpp"
#include "common/os_random.hpp"
#include "common/ref.hpp"
#include "mlkem/kernels.hpp"
#include "mlkem/ml_kem.hpp"

namespace mlkem = kyber_alg::mlkem;
// kyber_alg.Kyber is ML-KEM-512.
using kyber_alg::Ref;
using mlkem::MlKem512;

namespace {

// A function name and a parameter name, for error messages.
struct Param {
  const char* function;
  const char* name;
};

// Decodes hexadecimal text (str, or ASCII in a bytes-like object, either
// letter case) of exactly 2*len characters into out. Constant time in the
// text's content; on failure out may hold partial data, the caller wipes it.
bool read_hex(PyObject* obj, Param p, uint8_t* out, std::size_t len, const char* what) {
  const Py_ssize_t expected = static_cast<Py_ssize_t>(2 * len);
  auto wrong_length = [&](Py_ssize_t got) {
    PyErr_Format(PyExc_ValueError, "%s(): %s must be %zd hexadecimal characters (the %zu-byte %s), got %zd",
                 p.function, p.name, expected, len, what, got);
    return false;
  };
  auto not_hex = [&] {
    PyErr_Format(PyExc_ValueError, "%s(): %s contains a character that is not a hexadecimal digit",
                 p.function, p.name);
    return false;
  };

  if (PyUnicode_Check(obj)) {
    if (PyUnicode_READY(obj) < 0) return false;
    const Py_ssize_t got = PyUnicode_GET_LENGTH(obj);
    if (got != expected) return wrong_length(got);
    // An ASCII str stores its characters as one byte each; anything else
    // holds a non-ASCII character, which is never a hex digit.
    if (!PyUnicode_IS_ASCII(obj)) return not_hex();
    const char* text = static_cast<const char*>(PyUnicode_DATA(obj));
    return kyber_alg::hex::decode(out, text, len) || not_hex();
  }
  if (!PyObject_CheckBuffer(obj)) {
    PyErr_Format(PyExc_TypeError,
                 "%s(): %s must be str or a bytes-like object of hexadecimal text, not '%.100s'", p.function,
                 p.name, Py_TYPE(obj)->tp_name);
    return false;
  }
  kyber_alg::ByteView buf;
  if (!buf.acquire(obj)) return false;
  if (buf.size() != expected) return wrong_length(buf.size());
  return kyber_alg::hex::decode(out, reinterpret_cast<const char*>(buf.data()), len) || not_hex();
}

// New bytes object with the lower-case hex text of data.
Ref hex_bytes(const uint8_t* data, std::size_t len) {
  Ref out = Ref::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(2 * len)));
  if (out) kyber_alg::hex::encode(PyBytes_AS_STRING(out.get()), data, len);
  return out;
}

Ref raw_bytes(const uint8_t* data, std::size_t len) {
  return Ref::steal(
      PyBytes_FromStringAndSize(reinterpret_cast<const char*>(data), static_cast<Py_ssize_t>(len)));
}

PyObject* pair(const Ref& a, const Ref& b) { return PyTuple_Pack(2, a.get(), b.get()); }

// Shared by CCA_KeyGen and CCA_KeyGen_derand: (hex ek, hex dk) from d, z.
PyObject* keygen_result(const uint8_t d[32], const uint8_t z[32]) {
  uint8_t ek[MlKem512::ek_bytes];
  kyber_alg::ct::Wiped<uint8_t[MlKem512::dk_bytes]> dk;
  mlkem::ml_kem_keygen_internal<MlKem512>(ek, dk.value, d, z);
  const Ref ek_hex = hex_bytes(ek, sizeof ek);
  if (!ek_hex) return nullptr;
  const Ref dk_hex = hex_bytes(dk.value, MlKem512::dk_bytes);
  if (!dk_hex) return nullptr;
  return pair(ek_hex, dk_hex);
}

PyObject* cca_keygen(PyObject*, PyObject*) {
  kyber_alg::ct::Wiped<uint8_t[64]> seeds;
  if (!kyber_alg::os_random(seeds.value, sizeof seeds.value)) return PyErr_SetFromErrno(PyExc_OSError);
  return keygen_result(seeds.value, seeds.value + 32);
}

PyObject* cca_keygen_derand(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"d", "z", nullptr};
  PyObject *d_obj, *z_obj;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:CCA_KeyGen_derand", const_cast<char**>(keywords), &d_obj,
                                   &z_obj))
    return nullptr;
  kyber_alg::ct::Wiped<uint8_t[32]> d, z;
  if (!kyber_alg::read_fixed(d_obj, "CCA_KeyGen_derand()", "d", d.value, 32)) return nullptr;
  if (!kyber_alg::read_fixed(z_obj, "CCA_KeyGen_derand()", "z", z.value, 32)) return nullptr;
  return keygen_result(d.value, z.value);
}

PyObject* cca_enc(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"pk", "m", nullptr};
  PyObject *pk_obj, *m_obj;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:CCA_Enc", const_cast<char**>(keywords), &pk_obj, &m_obj))
    return nullptr;
  uint8_t ek[MlKem512::ek_bytes];
  if (!read_hex(pk_obj, {"CCA_Enc", "pk"}, ek, sizeof ek, "encapsulation key")) return nullptr;
  kyber_alg::ct::Wiped<uint8_t[32]> m;
  if (!kyber_alg::read_fixed(m_obj, "CCA_Enc()", "m", m.value, 32)) return nullptr;
  if (!mlkem::ek_modulus_check<MlKem512>(ek)) {
    PyErr_SetString(PyExc_ValueError,
                    "CCA_Enc(): pk is not a valid ML-KEM-512 encapsulation key: a coefficient is not below "
                    "q = 3329 (modulus check failed)");
    return nullptr;
  }
  uint8_t c[MlKem512::ct_bytes];
  kyber_alg::ct::Wiped<uint8_t[32]> key;
  mlkem::ml_kem_encaps_internal<MlKem512>(key.value, c, ek, m.value);
  const Ref c_hex = hex_bytes(c, sizeof c);
  if (!c_hex) return nullptr;
  const Ref key_bytes = raw_bytes(key.value, 32);
  if (!key_bytes) return nullptr;
  return pair(c_hex, key_bytes);
}

PyObject* cca_dec(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"c", "dk", nullptr};
  PyObject *c_obj, *dk_obj;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:CCA_Dec", const_cast<char**>(keywords), &c_obj, &dk_obj))
    return nullptr;
  uint8_t c[MlKem512::ct_bytes];
  if (!read_hex(c_obj, {"CCA_Dec", "c"}, c, sizeof c, "ciphertext")) return nullptr;
  kyber_alg::ct::Wiped<uint8_t[MlKem512::dk_bytes]> dk;
  if (!read_hex(dk_obj, {"CCA_Dec", "dk"}, dk.value, MlKem512::dk_bytes, "decapsulation key")) return nullptr;
  if (!mlkem::dk_hash_check<MlKem512>(dk.value)) {
    PyErr_SetString(PyExc_ValueError,
                    "CCA_Dec(): dk is not a valid ML-KEM-512 decapsulation key: the stored hash H(ek) does "
                    "not match its ek part (hash check failed)");
    return nullptr;
  }
  kyber_alg::ct::Wiped<uint8_t[32]> key;
  mlkem::ml_kem_decaps_internal<MlKem512>(key.value, dk.value, c);
  return raw_bytes(key.value, 32).release();
}

// DispatchFunctions reaches a Dispatch through an accessor; Kyber's is a global.
kyber_alg::Dispatch<mlkem::Kernels>& dispatch() { return mlkem::kernels; }

using Paths = kyber_alg::DispatchFunctions<mlkem::Kernels, dispatch>;

PyDoc_STRVAR(cca_keygen_doc,
             "CCA_KeyGen($module, /)\n--\n\n"
             "Generate an ML-KEM-512 key pair from fresh operating-system randomness.\n\n"
             "Returns (ek, dk) as lower-case hexadecimal ASCII bytes: the 800-byte\n"
             "encapsulation key (1600 characters) and the 1632-byte decapsulation key\n"
             "(3264 characters). Raises OSError if the system CSPRNG fails.");

PyDoc_STRVAR(cca_keygen_derand_doc,
             "CCA_KeyGen_derand($module, d, z)\n--\n\n"
             "ML-KEM-512 key pair derived from the 32-byte seeds d and z\n"
             "(ML-KEM.KeyGen_internal). Returns (ek, dk) like CCA_KeyGen().");

PyDoc_STRVAR(cca_enc_doc,
             "CCA_Enc($module, pk, m)\n--\n\n"
             "Encapsulate to the encapsulation key pk (1600 hexadecimal characters, str\n"
             "or bytes-like, either case) with the 32-byte randomness m\n"
             "(ML-KEM.Encaps_internal). Returns (c, K): the 768-byte ciphertext as\n"
             "lower-case hex bytes (1536 characters) and the 32-byte shared secret.\n"
             "Raises ValueError if pk fails the modulus check.");

PyDoc_STRVAR(cca_dec_doc,
             "CCA_Dec($module, c, dk)\n--\n\n"
             "Decapsulate the ciphertext c (1536 hexadecimal characters) with the\n"
             "decapsulation key dk (3264 hexadecimal characters) and return the 32-byte\n"
             "shared secret. A ciphertext that was not produced for this key yields a\n"
             "pseudo-random secret (implicit rejection), not an error. Raises ValueError\n"
             "if dk fails the hash check.");

PyMethodDef methods[] = {
    {"CCA_KeyGen", cca_keygen, METH_NOARGS, cca_keygen_doc},
    {"CCA_KeyGen_derand", kyber_alg::as_method<cca_keygen_derand>(), METH_VARARGS | METH_KEYWORDS,
     cca_keygen_derand_doc},
    {"CCA_Enc", kyber_alg::as_method<cca_enc>(), METH_VARARGS | METH_KEYWORDS, cca_enc_doc},
    {"CCA_Dec", kyber_alg::as_method<cca_dec>(), METH_VARARGS | METH_KEYWORDS, cca_dec_doc},
    {"_backend", Paths::backend, METH_NOARGS,
     "_backend($module, /)\n--\n\nThe code path in use: 'avx512', 'avx2' or 'portable' (the best the CPU "
     "supports, unless changed)."},
    Paths::available_method,
    Paths::set_method,
    {nullptr, nullptr, 0, nullptr},
};

int module_exec(PyObject* module) {
  if (PyModule_AddStringConstant(module, "PARAMETER_SET", "ML-KEM-512") < 0) return -1;
  return 0;
}

PyDoc_STRVAR(module_doc,
             "ML-KEM-512 (FIPS 203) key encapsulation with hexadecimal key and ciphertext text.\n\n"
             "CCA_KeyGen() / CCA_KeyGen_derand(d, z) -> (ek, dk)\n"
             "CCA_Enc(pk, m) -> (c, K)\n"
             "CCA_Dec(c, dk) -> K");

PyModuleDef module_def = kyber_alg::module_definition<kyber_alg::NoModuleState, module_exec>(
    "kyber_alg.Kyber", module_doc, methods);

}  // namespace

PyMODINIT_FUNC PyInit_Kyber(void) { return PyModuleDef_Init(&module_def); }
