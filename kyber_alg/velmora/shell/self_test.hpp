// The self-test: one full exchange, printed, when the module runs as main.
#pragma once

namespace kyber_alg::velmora {

// Runs the exchange when the module's __name__ is "__main__"; true when it
// ran through or was skipped, false with an exception set.
bool run_self_test_if_main();

}  // namespace kyber_alg::velmora
