// Two threads against one, outside Python: does this machine give two threads
// twice the work of one? bench_sm34.py's thread figures go through the
// interpreter; this program runs the same SM3 and SM4 cores with no GIL in
// sight, beside two plain instruction loops that tell the machine's limits
// apart:
//   one chain of additions    each addition waits for the one before: one
//                             integer unit busy, so two threads sharing a
//                             physical core (an SMT pair) still do twice the work;
//   eight chains of additions enough independent work to fill every integer
//                             unit of a core: two threads on an SMT pair share
//                             those units and do about the work of one.
// Two real cores give about 2x for both loops; other processes competing for
// the cores pull every row down alike.
//
// Built by CMake as a target outside the default build, in the build
// directory the package was installed from (or any configured one):
//   cmake --build /tmp/kbuild --target two_threads_native
//   /tmp/kbuild/two_threads_native [repeats]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "sm3/kernels.hpp"
#include "sm3/sm3.hpp"
#include "sm4/kernels.hpp"
#include "sm4/sm4.hpp"

namespace {

constexpr std::size_t kMiB = 1 << 20;
constexpr int kCallsPerThread = 8;
constexpr long kLoopIterations = 20'000'000;

const std::vector<uint8_t>& input() {
  static const std::vector<uint8_t> data(kMiB, 0x5a);
  return data;
}

void sm3_work() {
  uint8_t digest[kyber_alg::sm3::kDigestSize];
  for (int i = 0; i < kCallsPerThread; ++i) kyber_alg::sm3::hash(input().data(), input().size(), digest);
}

void sm4_decrypt_work() {
  static const kyber_alg::sm4::RoundKeys keys = [] {
    const uint8_t key[kyber_alg::sm4::kKeySize] = {1, 2, 3};
    kyber_alg::sm4::RoundKeys encrypt_keys, decrypt_keys;
    kyber_alg::sm4::expand_key(key, encrypt_keys);
    kyber_alg::sm4::reverse_keys(encrypt_keys, decrypt_keys);
    return decrypt_keys;
  }();
  std::vector<uint8_t> out(input().size());
  uint8_t iv[kyber_alg::sm4::kBlockSize] = {};
  for (int i = 0; i < kCallsPerThread; ++i)
    kyber_alg::sm4::cbc_decrypt(keys, iv, input().data(), out.data(),
                                input().size() / kyber_alg::sm4::kBlockSize);
}

void one_chain_work() {
  uint64_t x = 1;
  for (long i = 0; i < kLoopIterations; ++i) {
    __asm__ volatile(
        "add %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\t"
        "add %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\tadd %0, %0"
        : "+r"(x));
  }
}

void eight_chains_work() {
  uint64_t a = 1, b = 2, c = 3, d = 4, e = 5, f = 6, g = 7, h = 8;
  for (long i = 0; i < kLoopIterations; ++i) {
    __asm__ volatile(
        "add %0, %0\n\tadd %1, %1\n\tadd %2, %2\n\tadd %3, %3\n\t"
        "add %4, %4\n\tadd %5, %5\n\tadd %6, %6\n\tadd %7, %7"
        : "+r"(a), "+r"(b), "+r"(c), "+r"(d), "+r"(e), "+r"(f), "+r"(g), "+r"(h));
  }
}

double now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Elapsed seconds for `threads` threads each running work() once.
double run(void (*work)(), int threads) {
  const double start = now();
  std::vector<std::thread> running;
  for (int i = 0; i < threads; ++i) running.emplace_back(work);
  for (auto& t : running) t.join();
  return now() - start;
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  struct Row {
    const char* name;
    void (*work)();
    double one = 1e30, two = 1e30;
  } rows[] = {{"SM3, 8 x 1 MiB", sm3_work},
              {"SM4-CBC decryption, 8 x 1 MiB", sm4_decrypt_work},
              {"one chain of additions", one_chain_work},
              {"eight chains of additions", eight_chains_work}};
  // The rows take turns, so a burst of outside load falls on all of them alike.
  for (int r = 0; r < repeats; ++r) {
    for (Row& row : rows) {
      row.one = std::min(row.one, run(row.work, 1));
      row.two = std::min(row.two, run(row.work, 2));
    }
  }
  std::printf("code paths: SM3 %s, SM4 %s; best of %d\n",
              kyber_alg::backend_name(kyber_alg::sm3::kernels().backend()),
              kyber_alg::backend_name(kyber_alg::sm4::kernels().backend()), repeats);
  for (const Row& row : rows)
    std::printf("  %-30s one thread %7.1f ms, two threads %7.1f ms: two threads do %.2fx the work of one\n",
                row.name, 1e3 * row.one, 1e3 * row.two, 2 * row.one / row.two);
}
