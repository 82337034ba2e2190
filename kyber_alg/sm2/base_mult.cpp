#include "sm2/base_mult.hpp"

#include <vector>

#include "common/ct.hpp"

namespace kyber_alg::sm2 {

namespace {

constexpr int kRowSize = 1 << (kWindowBits - 1);  // multiples 1..16

// row[i][j] = (j + 1) * 32^i * G, affine.
struct BaseTable {
  AffinePoint row[kDigits][kRowSize];
};

// Converts many points to affine with one inversion (Montgomery's trick).
void batch_to_affine(AffinePoint* out, const JacobianPoint* in, std::size_t count) {
  std::vector<Fe> prefix(count);
  Fe acc = kOne;
  for (std::size_t i = 0; i < count; ++i) {
    prefix[i] = acc;
    acc = fe_mul(acc, in[i].z);
  }
  Fe inv = fe_invert(acc);
  for (std::size_t i = count; i-- > 0;) {
    const Fe z_inv = fe_mul(inv, prefix[i]);
    inv = fe_mul(inv, in[i].z);
    const Fe z_inv2 = fe_sqr(z_inv);
    out[i] = {fe_mul(in[i].x, z_inv2), fe_mul(in[i].y, fe_mul(z_inv2, z_inv))};
  }
}

const BaseTable& build() {
  // Public data only: no constant-time requirement here.
  static BaseTable table;
  std::vector<JacobianPoint> points(static_cast<std::size_t>(kDigits) * kRowSize);
  JacobianPoint base = to_jacobian(generator());
  for (int i = 0; i < kDigits; ++i) {
    JacobianPoint* row = &points[static_cast<std::size_t>(i) * kRowSize];
    row[0] = base;
    row[1] = point_double(base);
    for (int j = 2; j < kRowSize; ++j) row[j] = point_add(row[j - 1], base);  // (j+1)B != B
    base = point_double(row[kRowSize - 1]);                                   // 32 * B
  }
  batch_to_affine(&table.row[0][0], points.data(), points.size());
  return table;
}

const BaseTable& base_table() {
  static const BaseTable& table = build();
  return table;
}

// The entry |digit| of a row, negated for a negative digit; reads the whole
// row. Returns all ones in `zero` when the digit is 0 (out is then garbage).
AffinePoint select_from_row(const AffinePoint row[kRowSize], int8_t digit, uint64_t& zero) {
  const uint64_t sign = ct::mask64_from_bit(static_cast<uint64_t>(static_cast<uint8_t>(digit) >> 7));
  const uint64_t magnitude = (static_cast<uint64_t>(static_cast<int64_t>(digit)) ^ sign) - sign;
  AffinePoint out{};
  for (int j = 0; j < kRowSize; ++j) {
    const uint64_t hit = ct::mask64_zero(magnitude ^ static_cast<uint64_t>(j + 1));
    fe_select(out.x, row[j].x, hit);
    fe_select(out.y, row[j].y, hit);
  }
  conditional_negate(out.y, sign);
  zero = ct::mask64_zero(magnitude);
  return out;
}

}  // namespace

void prepare_base_table() { (void)base_table(); }

JacobianPoint mul_base(const Scalar& k) {
  // For 1 <= k < n no addition below meets equal points: the partial sum of
  // the lower digits stays below 32^i in size while the next term is at
  // least 32^i, and both stay under n/2 except for the top digit, whose
  // coincidences need k >= n. Only the point at infinity (before the first
  // nonzero digit) and zero digits need masking.
  const BaseTable& table = base_table();
  ct::Wiped<int8_t[kDigits]> digits;
  scalar_recode(digits.value, k);
  JacobianPoint acc{kOne, kOne, Fe{{0, 0, 0, 0}}};
  for (int i = 0; i < kDigits; ++i) {
    uint64_t zero;
    const AffinePoint term = select_from_row(table.row[i], digits.value[i], zero);
    const JacobianPoint sum = point_add_affine(acc, term);
    fe_select(acc.x, sum.x, ~zero);
    fe_select(acc.y, sum.y, ~zero);
    fe_select(acc.z, sum.z, ~zero);
  }
  return acc;
}

}  // namespace kyber_alg::sm2
