// SM2's scalar multiplications outside Python, on every code path this CPU
// runs: k*G, k*P, the conversion to affine coordinates, and the
// variable-time u1*G + u2*P of signature verification beside one
// constant-time k*P. Microseconds per call, the best of several rounds
// (other processes on the machine only ever add time).
//
// Built from the checkout's root (one command line):
//   g++ -O3 -std=c++20 -Isrc bench/sm2_native.cpp
//       $(ls src/sm2/*.cpp src/sm3/*.cpp src/common/*.cpp | grep -v module.cpp)
//       -o build/sm2_native
//   build/sm2_native [rounds]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "sm2/base_mult.hpp"
#include "sm2/double_mult_vartime.hpp"
#include "sm2/kernels.hpp"
#include "sm2/point_mult.hpp"

namespace sm2 = kyber_alg::sm2;

namespace {

// Microseconds per call of work(), the best of rounds rounds of calls calls.
template <class Work>
double best_time(int rounds, int calls, Work&& work) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) work();
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    if (took.count() / calls < best) best = took.count() / calls;
  }
  return best;
}

sm2::Scalar scalar(uint64_t seed) {
  // A fixed spread of bits below n (the top limb of n is 0xfffffffe...).
  sm2::Scalar s;
  for (int i = 0; i < 4; ++i) s.v[i] = (seed += 0x9e3779b97f4a7c15) * 0xbf58476d1ce4e5b9;
  s.v[3] >>= 1;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 9;
  sm2::prepare_base_table();
  const sm2::Scalar k = scalar(1), u1 = scalar(2), u2 = scalar(3);
  const sm2::AffinePoint p = sm2::to_affine(sm2::mul_base(scalar(4)));
  std::printf("SM2 native, microseconds per call (best of %d rounds)\n", rounds);
  std::printf("%-10s %8s %8s %10s %12s %14s\n", "path", "k*G", "k*P", "to_affine", "k*P affine", "u1*G+u2*P");
  for (kyber_alg::Backend b : kyber_alg::kAllBackends) {
    if (!sm2::kernels().select(b)) continue;
    volatile uint64_t sink = 0;
    sm2::JacobianPoint j{};
    const double base = best_time(rounds, 400, [&] {
      j = sm2::mul_base(k);
      sink = sink + j.x.v[0];
    });
    const double point = best_time(rounds, 60, [&] {
      j = sm2::kernels()->mul_point(k, p);
      sink = sink + j.x.v[0];
    });
    const double affine = best_time(rounds, 400, [&] { sink = sink + sm2::to_affine(j).x.v[0]; });
    const double both =
        best_time(rounds, 60, [&] { sink = sink + sm2::to_affine(sm2::kernels()->mul_point(k, p)).x.v[0]; });
    const double twice = best_time(rounds, 60, [&] {
      sm2::AffinePoint out;
      if (sm2::double_base_mult(u1, u2, p, out)) sink = sink + out.x.v[0];
    });
    std::printf("%-10s %8.2f %8.2f %10.2f %12.2f %14.2f\n", kyber_alg::backend_name(b), base, point, affine,
                both, twice);
  }
  return 0;
}
