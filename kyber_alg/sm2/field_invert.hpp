// Inversion in the SM2 prime field by a fixed exponentiation, for any field
// policy F (F::mul, F::sqr): the same chain on every code path, and no branch.
#pragma once

#include "sm2/field.hpp"

namespace kyber_alg::sm2 {

// a^(2^count), by repeated squaring.
template <class F>
Fe fe_sqr_n(Fe a, int count) {
  for (int i = 0; i < count; ++i) a = F::sqr(a);
  return a;
}

// a^(p-2) = 1/a (0 for a = 0).
template <class F>
Fe fe_invert_with(const Fe& a) {
  // p - 2, from the most significant bit: 31 ones, a zero, 128 ones,
  // 32 zeros, 62 ones, then the bits 0 and 1. x_k below is a^(2^k - 1).
  const Fe x1 = a;
  const Fe x2 = F::mul(F::sqr(x1), x1);
  const Fe x3 = F::mul(F::sqr(x2), x1);
  const Fe x6 = F::mul(fe_sqr_n<F>(x3, 3), x3);
  const Fe x12 = F::mul(fe_sqr_n<F>(x6, 6), x6);
  const Fe x15 = F::mul(fe_sqr_n<F>(x12, 3), x3);
  const Fe x30 = F::mul(fe_sqr_n<F>(x15, 15), x15);
  const Fe x31 = F::mul(F::sqr(x30), x1);
  const Fe x32 = F::mul(F::sqr(x31), x1);
  const Fe x62 = F::mul(fe_sqr_n<F>(x32, 30), x30);

  Fe t = F::sqr(x31);                                                 // 31 ones, 0
  for (int i = 0; i < 4; ++i) t = F::mul(fe_sqr_n<F>(t, 32), x32);  // 128 ones
  t = fe_sqr_n<F>(t, 32);                                             // 32 zeros
  t = F::mul(fe_sqr_n<F>(t, 62), x62);                                // 62 ones
  return F::mul(fe_sqr_n<F>(t, 2), x1);                               // 0, 1
}

}  // namespace kyber_alg::sm2
