// The module's interned names, one list per purpose, made once per load.
#pragma once

#include <Python.h>

#include "velmora/module_name.hpp"

namespace kyber_alg::velmora {

// X(identifier, text) for each list.

// Module globals that the function bodies and the self-test look up at each
// use; lookup.cpp caches these per name.
#define VELMORA_GLOBAL_NAMES(X)           \
  X(Kyber, "Kyber")                       \
  X(generate_keypair, "generate_keypair") \
  X(Encrypt, "Encrypt")                   \
  X(Decrypt, "Decrypt")                   \
  X(SM3, "SM3")                           \
  X(sm4, "sm4")                           \
  X(os, "os")                             \
  X(binascii, "binascii")                 \
  X(xor_hex_strings, "xor_hex_strings")   \
  X(key_gen_hybrid, "key_gen_hybrid")     \
  X(enc_hybrid, "enc_hybrid")             \
  X(dec_hybrid, "dec_hybrid")             \
  X(sm4_encode, "sm4_encode")             \
  X(sm4_decode, "sm4_decode")             \
  X(dunder_name, "__name__")

// Module globals that the loading binds and nothing looks up: imported names
// no function uses, __test__, and the values the self-test keeps.
#define VELMORA_BOUND_NAMES(X) \
  X(random, "random")          \
  X(Tuple, "Tuple")            \
  X(hash_msg, "hash_msg")      \
  X(dunder_test, "__test__")   \
  X(pk0, "pk0")                \
  X(sk0, "sk0")                \
  X(cipher0, "cipher0")        \
  X(cipher1, "cipher1")        \
  X(key0, "key0")              \
  X(iv, "iv")                  \
  X(text, "text")              \
  X(c_text, "c_text")          \
  X(cc_text, "cc_text")

// Modules named by the import statements ("" with level 1: the package).
#define VELMORA_MODULE_NAMES(X) \
  X(package, "")                \
  X(typing, "typing")           \
  X(pysmx_SM2, "pysmx.SM2")     \
  X(pysmx_SM3, "pysmx.SM3")     \
  X(gmssl, "gmssl")

// Attributes and methods read from outside objects.
#define VELMORA_ATTRIBUTE_NAMES(X) \
  X(CCA_KeyGen, "CCA_KeyGen")      \
  X(CCA_Enc, "CCA_Enc")            \
  X(CCA_Dec, "CCA_Dec")            \
  X(hexlify, "hexlify")            \
  X(unhexlify, "unhexlify")        \
  X(urandom, "urandom")            \
  X(hex, "hex")                    \
  X(decode, "decode")              \
  X(encode, "encode")              \
  X(update, "update")              \
  X(hexdigest, "hexdigest")        \
  X(CryptSM4, "CryptSM4")          \
  X(set_key, "set_key")            \
  X(crypt_cbc, "crypt_cbc")        \
  X(SM4_ENCRYPT, "SM4_ENCRYPT")    \
  X(SM4_DECRYPT, "SM4_DECRYPT")    \
  X(fromhex, "fromhex")            \
  X(dunder_spec, "__spec__")       \
  X(initializing, "_initializing")

// Builtins resolved once at load.
#define VELMORA_BUILTIN_NAMES(X) \
  X(print, "print")              \
  X(TypeError, "TypeError")      \
  X(zip, "zip")

// Constant texts that calls pass or compare with.
#define VELMORA_TEXTS(X)     \
  X(utf_8, "utf-8")          \
  X(pk_error, "pk error!")   \
  X(dunder_main, "__main__") \
  X(plain_module_name, VELMORA_MODULE_NAME)

#define VELMORA_ALL_NAMES(X) \
  VELMORA_GLOBAL_NAMES(X)    \
  VELMORA_BOUND_NAMES(X)     \
  VELMORA_MODULE_NAMES(X)    \
  VELMORA_ATTRIBUTE_NAMES(X) \
  VELMORA_BUILTIN_NAMES(X)   \
  VELMORA_TEXTS(X)

enum class Name : int {
#define VELMORA_NAME_ENUM(id, text) id,
  VELMORA_ALL_NAMES(VELMORA_NAME_ENUM)
#undef VELMORA_NAME_ENUM
};

#define VELMORA_COUNT_NAME(id, text) +1
constexpr int kGlobalNameCount = 0 VELMORA_GLOBAL_NAMES(VELMORA_COUNT_NAME);
constexpr int kNameCount = 0 VELMORA_ALL_NAMES(VELMORA_COUNT_NAME);
#undef VELMORA_COUNT_NAME

// Interns every name; false with an exception set on failure.
bool prepare_names();
// Borrowed reference; valid between prepare_names() and the end of the process
// (or the next prepare_names() after a failed load).
PyObject* name(Name id);

}  // namespace kyber_alg::velmora
