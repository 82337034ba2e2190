// The two process-wide records that keep the module to one module object in
// one interpreter per process. Only the create and exec steps touch them.
#pragma once

#include <Python.h>

#include <cstdint>

#include "common/ref.hpp"

namespace kyber_alg::velmora {

struct ProcessRecords {
  // ID of the interpreter that first created the module; -1 until then, never reset.
  int64_t owning_interpreter = -1;
  // The module the exec step initialises: set when it starts, cleared when it fails.
  Ref instance;
};

ProcessRecords& process_records();

}  // namespace kyber_alg::velmora
