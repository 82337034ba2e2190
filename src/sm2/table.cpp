// The portable table read and the dispatch between reads.
#include "sm2/table.hpp"

namespace kyber_alg::sm2 {

namespace {

void read_portable(AffinePoint& out, const AffinePoint* table, int count, uint64_t index) {
  out = AffinePoint{};
  for (int j = 0; j < count; ++j) {
    const uint64_t hit = ct::mask64_zero(index ^ static_cast<uint64_t>(j + 1));
    fe_select(out.x, table[j].x, hit);
    fe_select(out.y, table[j].y, hit);
  }
}

}  // namespace

const TableKernels kPortableTableKernels = {read_portable};

Dispatch<TableKernels>& table_kernels() {
  static Dispatch<TableKernels> dispatch(
      KernelSet<TableKernels>{&kPortableTableKernels, kAvx2TableKernels, nullptr});
  return dispatch;
}

}  // namespace kyber_alg::sm2
