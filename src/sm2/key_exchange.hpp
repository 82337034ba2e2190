// The SM2 key exchange protocol (GB/T 32918.3, section 6.1) with SM3, both
// roles: the shared key K and the optional confirmation values S1/SB (tag 02)
// and S2/SA (tag 03).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sm2/keys.hpp"
#include "sm2/point.hpp"
#include "sm2/scalar.hpp"

namespace kyber_alg::sm2 {

inline constexpr std::size_t kConfirmationSize = 32;

// What one side holds. The points are public and have passed decode_point
// (steps A6/B5 check the peer's ephemeral point).
struct KeyExchangeInput {
  bool initiator;              // user A
  Scalar d;                    // own static private key
  Scalar r;                    // own ephemeral private key, rA or rB
  AffinePoint own_ephemeral;   // RA or RB = [r]G
  AffinePoint peer_static;     // PB or PA
  AffinePoint peer_ephemeral;  // RB or RA
  const uint8_t* z_initiator;  // ZA, 32 bytes
  const uint8_t* z_responder;  // ZB, 32 bytes
};

enum class KeyExchangeStatus { ok, infinity };

// Steps A4-A10 (initiator) or B3-B10 (responder): key[0..len) = KDF(x || y ||
// ZA || ZB, len) of the shared point U = V, and the confirmation value this
// side sends (SA for A, SB for B) and the one it expects from the peer (SB
// for A, SA for B). `infinity` (key wiped) if the shared point, or the point
// [x-bar]R + P it is computed from, is the point at infinity.
KeyExchangeStatus key_exchange(const KeyExchangeInput& in, uint8_t* key, std::size_t len,
                               uint8_t own_confirmation[kConfirmationSize],
                               uint8_t peer_confirmation[kConfirmationSize]);

}  // namespace kyber_alg::sm2
