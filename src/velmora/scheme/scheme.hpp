// The hybrid scheme: key pairs, encapsulation and recovery of the SM4 key and IV.
// Each body finds the names it uses in the namespace it is given.
#pragma once

#include <Python.h>

#include "common/ref.hpp"
#include "velmora/outside/lookup.hpp"

namespace kyber_alg::velmora {

// -> (public key text, secret key text): Kyber key then SM2 key in hex.
Ref key_gen_hybrid(Namespace& names);

// pk is an exact str. -> (c_text1, c_text2, sym_key, sym_iv).
Ref enc_hybrid(Namespace& names, PyObject* pk);

// -> (sym_key, IV), equal to enc_hybrid's for the matching key and ciphertext.
Ref dec_hybrid(Namespace& names, PyObject* c_text1, PyObject* c_text2, PyObject* sk);

}  // namespace kyber_alg::velmora
