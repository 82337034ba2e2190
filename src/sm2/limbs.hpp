// 256-bit numbers as four 64-bit limbs, least significant first: the carry
// chains and byte conversions that field elements and scalars share. Every
// function runs in time independent of the values.
#pragma once

#include <cstdint>

#include "common/bytes.hpp"
#include "common/ct.hpp"

// On x86-64 the chains use the add-with-carry intrinsics, which compile to
// ADC/SBB; KYBER_ALG_SM2_GENERIC_CARRIES forces the plain C++ versions, which
// other targets use, so that they are tested here too.
#if defined(__x86_64__) && !defined(KYBER_ALG_SM2_GENERIC_CARRIES)
#include <x86intrin.h>
#define KYBER_ALG_SM2_CARRY_INTRINSICS 1
#else
#define KYBER_ALG_SM2_CARRY_INTRINSICS 0
#endif

namespace kyber_alg::sm2 {

using u128 = unsigned __int128;

// a + b + carry (carry 0 or 1); carry receives the carry out.
inline uint64_t add_carry(uint64_t a, uint64_t b, uint64_t& carry) {
#if KYBER_ALG_SM2_CARRY_INTRINSICS
  unsigned long long out;
  carry = _addcarry_u64(static_cast<unsigned char>(carry), a, b, &out);
  return out;
#else
  const u128 s = static_cast<u128>(a) + b + carry;
  carry = static_cast<uint64_t>(s >> 64);
  return static_cast<uint64_t>(s);
#endif
}

// a - b - borrow (borrow 0 or 1); borrow receives the borrow out.
inline uint64_t sub_borrow(uint64_t a, uint64_t b, uint64_t& borrow) {
#if KYBER_ALG_SM2_CARRY_INTRINSICS
  unsigned long long out;
  borrow = _subborrow_u64(static_cast<unsigned char>(borrow), a, b, &out);
  return out;
#else
  const u128 d = static_cast<u128>(a) - b - borrow;
  borrow = static_cast<uint64_t>(d >> 64) & 1;
  return static_cast<uint64_t>(d);
#endif
}

// All ones if a < b.
inline uint64_t limbs_less_than(const uint64_t a[4], const uint64_t b[4]) {
  uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) sub_borrow(a[i], b[i], borrow);
  return ct::mask64_from_bit(borrow);
}

// 32 bytes, big-endian.
inline void limbs_from_bytes(uint64_t out[4], const uint8_t in[32]) {
  for (int i = 0; i < 4; ++i) out[i] = load_be64(in + 8 * (3 - i));
}

inline void limbs_to_bytes(uint8_t out[32], const uint64_t in[4]) {
  for (int i = 0; i < 4; ++i) store_be64(out + 8 * (3 - i), in[i]);
}

}  // namespace kyber_alg::sm2
