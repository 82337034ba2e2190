// Everything the module keeps from its first load to the end of the process.
// What one load makes for its functions (the namespace they read, the builtins
// found then, their code objects) belongs to the function objects instead, so
// that functions outliving a failed load keep exactly what that load gave them.
// Besides this, the function type (shell/function_object.cpp) is a static type
// object, readied by the first load and kept to the end of the process.
#pragma once

#include <Python.h>

#include <cstdint>

#include "common/ref.hpp"
#include "velmora/outside/names.hpp"

namespace kyber_alg::velmora {

#if PY_VERSION_HEX >= 0x030C0000
constexpr int kNoWatcherYet = -1;
constexpr int kNoWatcherEver = -2;  // none was free: lookups are never cached
#endif

struct ModuleState {
  // ID of the interpreter that first created the module; -1 until then, never reset.
  int64_t owning_interpreter = -1;
  // The module the exec step initialises: set when it starts, cleared when it fails.
  Ref instance;
  // The interned names, made again by every load attempt.
  Ref names[kNameCount];
#if PY_VERSION_HEX >= 0x030C0000
  // The dict watcher that tells namespace lookups a module dict has changed:
  // its ID, or one of the two markers below.
  int namespace_watcher = kNoWatcherYet;
  // Bumped by that watcher on every change to a watched module dict.
  uint64_t namespace_changes = 0;
#endif
};

// Never destroyed: a static destructor running after the interpreter has
// finalised would drop references into freed memory.
inline ModuleState& module_state() {
  static ModuleState* const state = new ModuleState();
  return *state;
}

}  // namespace kyber_alg::velmora
