#include "velmora/outside/binascii_calls.hpp"
#include "velmora/text/text.hpp"

namespace kyber_alg::velmora {
namespace {

struct PreparedCipher {
  Ref cipher;  // sm4Alg
  Ref iv;      // IV bytes
};

// sm4.CryptSM4(), keyed with unhexlify(key.encode("utf-8")) for the direction
// named by `mode`, and the IV bytes from unhexlify(IV).
PreparedCipher prepare_cipher(Namespace& names, PyObject* key, PyObject* IV, Name mode) {
  Ref make_cipher = global_attr(names, Name::sm4, Name::CryptSM4);
  if (!make_cipher) return {};
  Ref sm4Alg = call(make_cipher.get());
  if (!sm4Alg) return {};

  Ref unhexlify_key = global_attr(names, Name::binascii, Name::unhexlify);
  if (!unhexlify_key) return {};
  Ref key_text = call_attr(key, Name::encode, {name(Name::utf_8)});
  if (!key_text) return {};
  Ref key_bytes = call(unhexlify_key.get(), {key_text.get()});
  if (!key_bytes) return {};
  Ref iv_bytes = unhexlify(names, IV);
  if (!iv_bytes) return {};

  Ref set_key = attr(sm4Alg.get(), Name::set_key);
  if (!set_key) return {};
  Ref direction = global_attr(names, Name::sm4, mode);
  if (!direction || !call(set_key.get(), {key_bytes.get(), direction.get()})) return {};
  return {std::move(sm4Alg), std::move(iv_bytes)};
}

}  // namespace

Ref sm4_encode(Namespace& names, PyObject* key, PyObject* IV, PyObject* data) {
  PreparedCipher prepared = prepare_cipher(names, key, IV, Name::SM4_ENCRYPT);
  if (!prepared.cipher) return {};
  PyObject* dateStr = data;
  Ref crypt_cbc = attr(prepared.cipher.get(), Name::crypt_cbc);
  if (!crypt_cbc) return {};
  Ref message = call_attr(dateStr, Name::encode);
  if (!message) return {};
  Ref enRes = call(crypt_cbc.get(), {prepared.iv.get(), message.get()});
  if (!enRes) return {};
  return call_attr(enRes.get(), Name::hex);
}

Ref sm4_decode(Namespace& names, PyObject* key, PyObject* IV, PyObject* data) {
  PreparedCipher prepared = prepare_cipher(names, key, IV, Name::SM4_DECRYPT);
  if (!prepared.cipher) return {};
  Ref crypt_cbc = attr(prepared.cipher.get(), Name::crypt_cbc);
  if (!crypt_cbc) return {};
  // bytes.fromhex takes text only up to CPython 3.13 and also bytes-like objects from 3.14 on; the
  // ciphertext stays text on every version, refused with the TypeError that fromhex gives there.
  if (!PyUnicode_Check(data)) {
    PyErr_Format(PyExc_TypeError, "fromhex() argument must be str, not %.50s",
                 data == Py_None ? "None" : Py_TYPE(data)->tp_name);
    return {};
  }
  Ref ciphertext = call_attr(reinterpret_cast<PyObject*>(&PyBytes_Type), Name::fromhex, {data});
  if (!ciphertext) return {};
  Ref deRes = call(crypt_cbc.get(), {prepared.iv.get(), ciphertext.get()});
  if (!deRes) return {};
  return call_attr(deRes.get(), Name::decode);
}

}  // namespace kyber_alg::velmora
