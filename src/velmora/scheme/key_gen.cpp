#include "velmora/outside/binascii_calls.hpp"
#include "velmora/scheme/derivation.hpp"
#include "velmora/scheme/scheme.hpp"
#include "velmora/subscript.hpp"
#include "velmora/unpack.hpp"

namespace kyber_alg::velmora {
namespace {

// (kyber_part + sm2_hex).decode("utf-8"): byte strings joined, Kyber first.
Ref join_key(PyObject* kyber_part, PyObject* sm2_hex) {
  Ref joined = Ref::steal(PyNumber_Add(kyber_part, sm2_hex));
  if (!joined) return {};
  return call_attr(joined.get(), Name::decode, {name(Name::utf_8)});
}

}  // namespace

Ref key_gen_hybrid(Namespace& names) {
  Ref len_para = Ref::steal(PyLong_FromLong(kSm2LengthParameter));
  if (!len_para) return {};

  Ref kyber_keygen = global_attr(names, Name::Kyber, Name::CCA_KeyGen);
  if (!kyber_keygen) return {};
  Ref KEYs = call(kyber_keygen.get());
  if (!KEYs) return {};
  Ref pk1 = item(KEYs.get(), 0);
  if (!pk1) return {};
  Ref sk1 = item(KEYs.get(), 1);
  if (!sk1) return {};

  Ref generate_keypair = names.global(Name::generate_keypair);
  if (!generate_keypair) return {};
  Ref sm2_pair = call(generate_keypair.get(), {len_para.get()});
  if (!sm2_pair) return {};
  Ref sm2_keys[2];
  if (!unpack_exactly(sm2_pair.get(), 2, sm2_keys)) return {};

  Ref pk2 = hexlify(names, sm2_keys[0].get());
  if (!pk2) return {};
  Ref sk2 = hexlify(names, sm2_keys[1].get());
  if (!sk2) return {};

  Ref public_key = join_key(pk1.get(), pk2.get());
  if (!public_key) return {};
  Ref secret_key = join_key(sk1.get(), sk2.get());
  if (!secret_key) return {};
  return Ref::steal(PyTuple_Pack(2, public_key.get(), secret_key.get()));
}

}  // namespace kyber_alg::velmora
