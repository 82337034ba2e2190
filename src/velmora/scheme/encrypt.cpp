#include "velmora/outside/binascii_calls.hpp"
#include "velmora/scheme/derivation.hpp"
#include "velmora/scheme/scheme.hpp"
#include "velmora/subscript.hpp"
#include "velmora/unpack.hpp"

namespace kyber_alg::velmora {
namespace {

// TypeError("pk error!"), made with the TypeError resolved at load.
void raise_pk_error(const Namespace& names) {
  Ref error = call(names.load_time_builtins().type_error.get(), {name(Name::pk_error)});
  if (error) PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.get())), error.get());
}

Ref urandom(Namespace& names, PyObject* count) {
  Ref function = global_attr(names, Name::os, Name::urandom);
  if (!function) return {};
  return call(function.get(), {count});
}

}  // namespace

Ref enc_hybrid(Namespace& names, PyObject* pk) {
  Ref pk1 = slice(pk, 0, kKyberPublicKeyChars);
  if (!pk1) return {};
  Ref pk2 = slice(pk, -kSm2PublicKeyChars, std::nullopt);
  if (!pk2) return {};
  Ref len_para = Ref::steal(PyLong_FromLong(kSm2LengthParameter));
  if (!len_para) return {};
  pk2 = unhexlify(names, pk2.get());
  if (!pk2) return {};

  // The SM2 part is checked first, then the Kyber part.
  Py_ssize_t sm2_length = PyObject_Size(pk2.get());
  if (sm2_length < 0) return {};
  if (sm2_length != kSm2PublicKeyBytes) {
    raise_pk_error(names);
    return {};
  }
  Py_ssize_t kyber_length = PyObject_Size(pk1.get());
  if (kyber_length < 0) return {};
  if (kyber_length != kKyberPublicKeyChars) {
    raise_pk_error(names);
    return {};
  }

  Ref secret_count = Ref::steal(PyLong_FromLong(kSecretBytes));
  if (!secret_count) return {};
  Ref info11 = urandom(names, secret_count.get());
  if (!info11) return {};
  info11 = call_attr(info11.get(), Name::hex);
  if (!info11) return {};
  Ref m1 = urandom(names, secret_count.get());
  if (!m1) return {};

  Ref kyber_enc = global_attr(names, Name::Kyber, Name::CCA_Enc);
  if (!kyber_enc) return {};
  Ref encapsulated = call(kyber_enc.get(), {pk1.get(), m1.get()});
  if (!encapsulated) return {};
  Ref kyber_result[2];  // c_text1, K_key
  if (!unpack_exactly(encapsulated.get(), 2, kyber_result)) return {};
  Ref& c_text1 = kyber_result[0];
  Ref sec_K = hexlify_to_text(names, kyber_result[1].get(), true);
  if (!sec_K) return {};
  // The SM2-protected secret first, then the Kyber secret.
  Ref digest = digest_of_secrets(names, info11.get(), sec_K.get());
  if (!digest) return {};

  info11 = unhexlify(names, info11.get());
  if (!info11) return {};
  Ref encrypt = names.global(Name::Encrypt);
  if (!encrypt) return {};
  Ref zero = Ref::steal(PyLong_FromLong(0));
  if (!zero) return {};
  Ref c_text2 = call(encrypt.get(), {info11.get(), pk2.get(), len_para.get(), zero.get()});
  if (!c_text2) return {};
  c_text2 = hexlify(names, c_text2.get());
  if (!c_text2) return {};

  KeyAndIv derived = split_digest(names, digest.get());
  if (!derived.key) return {};
  return Ref::steal(PyTuple_Pack(4, c_text1.get(), c_text2.get(), derived.key.get(), derived.iv.get()));
}

}  // namespace kyber_alg::velmora
