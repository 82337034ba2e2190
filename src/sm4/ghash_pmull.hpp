// GHASH on PMULL, for the aarch64 kernel tables (defined only in builds with
// the aarch64 vector code).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm4/ghash.hpp"

namespace kyber_alg::sm4 {

// As ghash_blocks_portable, eight blocks per reduction: sum of X_i * H^(8-i).
void ghash_blocks_pmull(const GhashKey& key, uint8_t y[16], const uint8_t* data, std::size_t blocks);

}  // namespace kyber_alg::sm4
