// The portable table read and the dispatch between reads.
#include "sm2/table.hpp"

namespace kyber_alg::sm2 {

namespace {

// Every entry ANDed with its all-ones-or-zero mask and ORed into the result:
// two operations a word and no chain between entries, which compilers turn
// into vector code with the target's baseline instructions.
void read_portable(AffinePoint& out, const AffinePoint* table, int count, uint64_t index) {
  uint64_t x[4] = {}, y[4] = {};
  for (int j = 0; j < count; ++j) {
    const uint64_t hit = ct::mask64_zero(index ^ static_cast<uint64_t>(j + 1));
    for (int w = 0; w < 4; ++w) {
      x[w] |= table[j].x.v[w] & hit;
      y[w] |= table[j].y.v[w] & hit;
    }
  }
  for (int w = 0; w < 4; ++w) out.x.v[w] = x[w], out.y.v[w] = y[w];
}

}  // namespace

const TableKernels kPortableTableKernels = {read_portable};

Dispatch<TableKernels>& table_kernels() {
  static Dispatch<TableKernels> dispatch(
      KernelSet<TableKernels>{&kPortableTableKernels, kAvx2TableKernels, nullptr});
  return dispatch;
}

}  // namespace kyber_alg::sm2
