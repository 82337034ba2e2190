// Constant-time reads from the precomputed tables of points that the scalar
// multiplications add: every entry is read whatever the index, so neither a
// branch nor an address depends on the secret digit. The portable read
// selects word by word; the avx2 one (table_avx2.cpp) two 256-bit lanes an
// entry. Either serves any code path of the curve arithmetic, chosen at load.
#pragma once

#include <cstdint>

#include "common/ct.hpp"
#include "common/dispatch.hpp"
#include "sm2/point.hpp"

namespace kyber_alg::sm2 {

struct TableKernels {
  // out = table[index - 1] for 1 <= index <= count, all zero bits for index 0;
  // count is even.
  void (*read)(AffinePoint& out, const AffinePoint* table, int count, uint64_t index);
};

extern const TableKernels kPortableTableKernels;
// Null when the build has no x86 vector code.
extern const TableKernels* const kAvx2TableKernels;

// The best read this CPU runs.
Dispatch<TableKernels>& table_kernels();

// The entry for an odd digit from a table of odd multiples (table[j] =
// (2j + 1) B, count of them), negated for a negative digit, through
// Path::read. |digit| must be below 2 count.
template <class Path>
inline void read_odd(AffinePoint& out, const AffinePoint* table, int count, int8_t digit) {
  const uint64_t sign = ct::mask64_from_bit(static_cast<uint64_t>(static_cast<uint8_t>(digit) >> 7));
  const uint64_t magnitude = (static_cast<uint64_t>(static_cast<int64_t>(digit)) ^ sign) - sign;
  Path::read(out, table, count, (magnitude + 1) >> 1);
  conditional_negate(out.y, sign);
}

}  // namespace kyber_alg::sm2
