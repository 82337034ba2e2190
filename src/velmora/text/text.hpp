// Text utilities: SM4-CBC for text messages and the hex XOR of the key derivation.
#pragma once

#include <Python.h>

#include "common/ref.hpp"
#include "velmora/outside/lookup.hpp"

namespace kyber_alg::velmora {

// Message text -> lower-case hex ciphertext, under hex key and IV.
Ref sm4_encode(Namespace& names, PyObject* key, PyObject* IV, PyObject* data);
// Hex ciphertext -> message text.
Ref sm4_decode(Namespace& names, PyObject* key, PyObject* IV, PyObject* data);

// Bytewise XOR of two hex strings (exact str), as lower-case hex, as long as
// the shorter operand.
Ref xor_hex_strings(const Namespace& names, PyObject* hex_str1, PyObject* hex_str2);

}  // namespace kyber_alg::velmora
