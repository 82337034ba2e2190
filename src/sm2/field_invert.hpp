// Inversion in the SM2 prime field, in constant time (field_invert.cpp).
#pragma once

#include "sm2/field.hpp"

namespace kyber_alg::sm2 {

// 1/a for a plain (not Montgomery) a < p, 0 for a = 0. The same on every code
// path: it needs no field multiplication.
Fe fe_invert_plain(const Fe& a);

// The same for public values, in variable time (about twice as fast): the
// original division steps, several at a time where the bits allow.
Fe fe_invert_plain_vartime(const Fe& a);

// R^3 mod p. For a in Montgomery form (aR), fe_invert_plain gives 1/(aR); a
// Montgomery multiplication by R^3 turns that into (1/a)R.
inline constexpr Fe kRCubed = {
    {0x0000001200000016, 0x0000000efffffff8, 0x0000000a0000000c, 0x0000001b00000009}};

// 1/a in Montgomery form (0 for a = 0), with the portable multiplication.
inline Fe fe_invert(const Fe& a) { return fe_mul(fe_invert_plain(a), kRCubed); }

}  // namespace kyber_alg::sm2
