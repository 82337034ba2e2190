#include "velmora/outside/binascii_calls.hpp"
#include "velmora/scheme/derivation.hpp"
#include "velmora/scheme/scheme.hpp"
#include "velmora/subscript.hpp"

namespace kyber_alg::velmora {

Ref dec_hybrid(Namespace& names, PyObject* c_text1, PyObject* c_text2, PyObject* sk) {
  Ref sk1 = slice(sk, std::nullopt, kKyberSecretKeyChars);
  if (!sk1) return {};
  Ref sk2 = slice(sk, kKyberSecretKeyChars, std::nullopt);
  if (!sk2) return {};
  sk2 = unhexlify(names, sk2.get());
  if (!sk2) return {};
  Ref sm2_ciphertext = unhexlify(names, c_text2);
  if (!sm2_ciphertext) return {};
  Ref len_para = Ref::steal(PyLong_FromLong(kSm2LengthParameter));
  if (!len_para) return {};

  Ref decrypt = names.global(Name::Decrypt);
  if (!decrypt) return {};
  Ref sec_E = call(decrypt.get(), {sm2_ciphertext.get(), sk2.get(), len_para.get()});
  if (!sec_E) return {};
  sec_E = hexlify_to_text(names, sec_E.get(), false);
  if (!sec_E) return {};

  Ref kyber_dec = global_attr(names, Name::Kyber, Name::CCA_Dec);
  if (!kyber_dec) return {};
  Ref sec_K = call(kyber_dec.get(), {c_text1, sk1.get()});
  if (!sec_K) return {};
  sec_K = hexlify_to_text(names, sec_K.get(), true);
  if (!sec_K) return {};

  // SM2 secret first, then the Kyber secret: the order enc_hybrid hashes them in.
  Ref digest = digest_of_secrets(names, sec_E.get(), sec_K.get());
  if (!digest) return {};

  KeyAndIv derived = split_digest(names, digest.get());
  if (!derived.key) return {};
  return Ref::steal(PyTuple_Pack(2, derived.key.get(), derived.iv.get()));
}

}  // namespace kyber_alg::velmora
