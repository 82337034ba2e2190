// The self-test: one full exchange, printed, when the module runs as main.
#pragma once

#include "velmora/outside/lookup.hpp"

namespace kyber_alg::velmora {

// Runs the exchange in the module namespace given when its __name__ is
// "__main__"; true when it ran through or was skipped, false with an exception set.
bool run_self_test_if_main(Namespace& names);

}  // namespace kyber_alg::velmora
