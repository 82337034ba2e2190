// Traceback entries for failures inside the module's C++ code.
#pragma once

namespace kyber_alg::velmora {

// Adds an entry named entry_name to the traceback of the pending exception.
void add_traceback_entry(const char* entry_name);

}  // namespace kyber_alg::velmora
