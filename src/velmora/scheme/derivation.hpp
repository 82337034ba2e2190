// What both sides of the exchange do with the two secrets: one SM3 digest,
// cut into an IV and folded into a key.
#pragma once

#include <Python.h>

#include "common/ref.hpp"
#include "velmora/outside/lookup.hpp"

namespace kyber_alg::velmora {

// SM3 hex digest of the bytes that unhexlify(first_hex + second_hex) gives:
// SM3() → update(bytes) → hexdigest(), with SM3 found by name now.
Ref digest_of_secrets(Namespace& names, PyObject* first_hex, PyObject* second_hex);

struct KeyAndIv {
  Ref key;
  Ref iv;
};

// iv = digest[32:]; key = xor_hex_strings(digest[0:32], digest[32:]), the
// function found by name at this call. Empty refs on failure.
KeyAndIv split_digest(Namespace& names, PyObject* digest);

// Lengths that the SM2 parameter and the hybrid key layout fix.
constexpr long kSm2LengthParameter = 64;
constexpr Py_ssize_t kKyberPublicKeyChars = 1600;
constexpr Py_ssize_t kSm2PublicKeyChars = 128;
constexpr Py_ssize_t kSm2PublicKeyBytes = 64;
constexpr Py_ssize_t kKyberSecretKeyChars = 3264;
constexpr long kSecretBytes = 32;

}  // namespace kyber_alg::velmora
