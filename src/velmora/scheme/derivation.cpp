#include "velmora/scheme/derivation.hpp"

#include "velmora/outside/binascii_calls.hpp"
#include "velmora/subscript.hpp"

namespace kyber_alg::velmora {

Ref digest_of_secrets(Namespace& names, PyObject* first_hex, PyObject* second_hex) {
  Ref joined = Ref::steal(PyNumber_Add(first_hex, second_hex));
  if (!joined) return {};
  Ref message = unhexlify(names, joined.get());
  if (!message) return {};
  Ref sm3_type = names.global(Name::SM3);
  if (!sm3_type) return {};
  Ref hash = call(sm3_type.get());
  if (!hash || !call_attr(hash.get(), Name::update, {message.get()})) return {};
  return call_attr(hash.get(), Name::hexdigest);
}

KeyAndIv split_digest(Namespace& names, PyObject* digest) {
  Ref iv = slice(digest, 32, std::nullopt);
  if (!iv) return {};
  Ref xor_function = names.global(Name::xor_hex_strings);
  if (!xor_function) return {};
  Ref first_half = slice(digest, 0, 32);
  if (!first_half) return {};
  Ref second_half = slice(digest, 32, std::nullopt);
  if (!second_half) return {};
  Ref key = call(xor_function.get(), {first_half.get(), second_half.get()});
  if (!key) return {};
  return {std::move(key), std::move(iv)};
}

}  // namespace kyber_alg::velmora
