// Unit-test driver for SM2's variable-time u1*G + u2*P
// (tests/sm/test_sm2_native.py), on every code path this CPU runs.
//
// Reads lines "u1 u2 x y" (64 hexadecimal digits each; (x, y) a point of the
// curve) from stdin and prints, for each, one result per code path in the
// order of the first output line ("paths portable adx"): the sum as x || y in
// 128 hexadecimal digits, or "infinity".
#include <cstdio>
#include <vector>

#include "sm2/double_mult_vartime.hpp"
#include "sm2/kernels.hpp"
#include "sm2/keys.hpp"

namespace sm2 = kyber_alg::sm2;

namespace {

bool read_hex32(uint8_t out[32]) {
  for (int i = 0; i < 32; ++i) {
    unsigned byte;
    if (std::scanf("%2x", &byte) != 1) return false;
    out[i] = static_cast<uint8_t>(byte);
  }
  return true;
}

void print_hex(const uint8_t* p, int len) {
  for (int i = 0; i < len; ++i) std::printf("%02x", p[i]);
}

}  // namespace

int main() {
  std::vector<kyber_alg::Backend> paths;
  std::printf("paths");
  for (kyber_alg::Backend b : kyber_alg::kAllBackends) {
    if (!sm2::kernels().available(b)) continue;
    paths.push_back(b);
    std::printf(" %s", kyber_alg::backend_name(b));
  }
  std::printf("\n");
  uint8_t u1[32], u2[32], xy[64];
  while (read_hex32(u1) && read_hex32(u2) && read_hex32(xy) && read_hex32(xy + 32)) {
    sm2::AffinePoint p;
    if (sm2::decode_point(p, xy) != sm2::PointCheck::ok) return 2;
    for (kyber_alg::Backend b : paths) {
      sm2::kernels().select(b);
      sm2::AffinePoint sum;
      if (sm2::double_base_mult(sm2::scalar_from_bytes(u1), sm2::scalar_from_bytes(u2), p, sum)) {
        uint8_t out[64];
        sm2::encode_point(out, sum);
        std::printf(" ");
        print_hex(out, 64);
      } else {
        std::printf(" infinity");
      }
    }
    std::printf("\n");
  }
  return 0;
}
