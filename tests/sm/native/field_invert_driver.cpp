// Unit-test driver for the SM2 field inversion (tests/sm/test_sm2_native.py).
//
// Reads one 64-digit hexadecimal number a < p a line from stdin and prints
// three: fe_invert_plain(a) (1/a for a plain a, 0 for 0), fe_invert(a) (a
// read as a Montgomery-form element, so the expected answer is R^2 / a mod
// p) and fe_invert_plain_vartime(a), each as 64 hexadecimal digits. The test
// checks them against Python's pow(a, -1, p).
#include <cstdio>

#include "sm2/field_invert.hpp"

namespace sm2 = kyber_alg::sm2;

namespace {

bool read_number(sm2::Fe& a) {
  unsigned long long w[4];
  if (std::scanf("%16llx%16llx%16llx%16llx", &w[3], &w[2], &w[1], &w[0]) != 4) return false;
  for (int i = 0; i < 4; ++i) a.v[i] = w[i];
  return true;
}

void print_number(const sm2::Fe& a) {
  std::printf("%016llx%016llx%016llx%016llx", static_cast<unsigned long long>(a.v[3]),
              static_cast<unsigned long long>(a.v[2]), static_cast<unsigned long long>(a.v[1]),
              static_cast<unsigned long long>(a.v[0]));
}

}  // namespace

int main() {
  sm2::Fe a;
  while (read_number(a)) {
    print_number(sm2::fe_invert_plain(a));
    std::printf(" ");
    print_number(sm2::fe_invert(a));
    std::printf(" ");
    print_number(sm2::fe_invert_plain_vartime(a));
    std::printf("\n");
  }
  return 0;
}
