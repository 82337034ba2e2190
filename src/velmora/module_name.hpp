// The module's name, the one place it is spelt. A macro, so that the texts
// built from it ("Velmora.enc_hybrid", "init Velmora") are single literals.
#pragma once

#define VELMORA_MODULE_NAME "Velmora"

namespace kyber_alg::velmora {

inline constexpr char kModuleName[] = VELMORA_MODULE_NAME;
// File name of the code objects and traceback entries: the functions have no
// Python source.
inline constexpr char kSourceName[] = "<" VELMORA_MODULE_NAME ">";

}  // namespace kyber_alg::velmora
