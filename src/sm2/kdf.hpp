// SM2 encryption's key derivation function is SM3's (sm3/kdf.hpp).
#pragma once

#include "sm3/kdf.hpp"

namespace kyber_alg::sm2 {

using sm3::kdf_xor;

}  // namespace kyber_alg::sm2
