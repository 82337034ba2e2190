// The module's interned names and constant texts, made once per load.
#pragma once

#include <Python.h>

namespace kyber_alg::velmora {

// X(identifier, text). The first block are the module globals that the
// function bodies look up at each call; lookup.cpp caches those per name.
#define VELMORA_GLOBAL_NAMES(X)               \
  X(Kyber, "Kyber")                           \
  X(generate_keypair, "generate_keypair")     \
  X(Encrypt, "Encrypt")                       \
  X(Decrypt, "Decrypt")                       \
  X(SM3, "SM3")                               \
  X(sm4, "sm4")                               \
  X(os, "os")                                 \
  X(binascii, "binascii")                     \
  X(xor_hex_strings, "xor_hex_strings")       \
  X(key_gen_hybrid, "key_gen_hybrid")         \
  X(enc_hybrid, "enc_hybrid")                 \
  X(dec_hybrid, "dec_hybrid")                 \
  X(sm4_encode, "sm4_encode")                 \
  X(sm4_decode, "sm4_decode")                 \
  X(dunder_name, "__name__")

#define VELMORA_OTHER_NAMES(X)                                    \
  X(CCA_KeyGen, "CCA_KeyGen")                                     \
  X(CCA_Enc, "CCA_Enc")                                           \
  X(CCA_Dec, "CCA_Dec")                                           \
  X(hexlify, "hexlify")                                           \
  X(unhexlify, "unhexlify")                                       \
  X(urandom, "urandom")                                           \
  X(hex, "hex")                                                   \
  X(decode, "decode")                                             \
  X(encode, "encode")                                             \
  X(update, "update")                                             \
  X(hexdigest, "hexdigest")                                       \
  X(CryptSM4, "CryptSM4")                                         \
  X(set_key, "set_key")                                           \
  X(crypt_cbc, "crypt_cbc")                                       \
  X(SM4_ENCRYPT, "SM4_ENCRYPT")                                   \
  X(SM4_DECRYPT, "SM4_DECRYPT")                                   \
  X(fromhex, "fromhex")                                           \
  X(spec_name, "name")                                            \
  X(loader, "loader")                                             \
  X(origin, "origin")                                             \
  X(parent, "parent")                                             \
  X(submodule_search_locations, "submodule_search_locations")     \
  X(dunder_loader, "__loader__")                                  \
  X(dunder_file, "__file__")                                      \
  X(dunder_package, "__package__")                                \
  X(dunder_path, "__path__")                                      \
  X(dunder_builtins, "__builtins__")                              \
  X(dunder_spec, "__spec__")                                      \
  X(initializing, "_initializing")                                \
  X(dunder_test, "__test__")                                      \
  X(dunder_main, "__main__")                                      \
  X(random, "random")                                             \
  X(typing, "typing")                                             \
  X(Tuple, "Tuple")                                               \
  X(pysmx_SM2, "pysmx.SM2")                                       \
  X(pysmx_SM3, "pysmx.SM3")                                       \
  X(hash_msg, "hash_msg")                                         \
  X(gmssl, "gmssl")                                               \
  X(empty, "")                                                    \
  X(print, "print")                                               \
  X(TypeError, "TypeError")                                       \
  X(zip, "zip")                                                   \
  X(pk0, "pk0")                                                   \
  X(sk0, "sk0")                                                   \
  X(cipher0, "cipher0")                                           \
  X(cipher1, "cipher1")                                           \
  X(key0, "key0")                                                 \
  X(iv, "iv")                                                     \
  X(text, "text")                                                 \
  X(c_text, "c_text")                                             \
  X(cc_text, "cc_text")                                           \
  X(utf_8, "utf-8")                                               \
  X(pk_error, "pk error!")                                        \
  X(Velmora, "Velmora")

enum class Name : int {
#define VELMORA_NAME_ENUM(id, text) id,
  VELMORA_GLOBAL_NAMES(VELMORA_NAME_ENUM)
  global_count_,
  VELMORA_OTHER_NAMES(VELMORA_NAME_ENUM)
#undef VELMORA_NAME_ENUM
  count_
};

constexpr int kGlobalNameCount = static_cast<int>(Name::global_count_);

// Interns every name; false with an exception set on failure.
bool prepare_names();
// Borrowed reference; valid between prepare_names() and the end of the process
// (or the next prepare_names() after a failed load).
PyObject* name(Name id);

}  // namespace kyber_alg::velmora
