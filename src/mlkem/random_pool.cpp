#include "mlkem/random_pool.hpp"

#include <pthread.h>

#include <cstring>

#include "common/ct.hpp"
#include "common/os_random.hpp"

namespace kyber_alg::kyber {

namespace {

constexpr std::size_t pool_size = 1024;

struct Pool {
  uint8_t bytes[pool_size];
  std::size_t left = 0;  // the unused bytes are bytes[pool_size - left, pool_size)
};

Pool pool;

// In the child of a fork(): the parent may hand out the bytes it still has.
void forget_after_fork() {
  ct::wipe(pool.bytes, sizeof pool.bytes);
  pool.left = 0;
}

bool registered = pthread_atfork(nullptr, nullptr, forget_after_fork) == 0;

}  // namespace

bool random_bytes(uint8_t* out, std::size_t len) {
  if (!registered) return os_random(out, len);  // without the fork hook, no pool
  if (pool.left < len) {
    if (!os_random(pool.bytes, pool_size)) return false;
    pool.left = pool_size;
  }
  uint8_t* from = pool.bytes + pool_size - pool.left;
  std::memcpy(out, from, len);
  ct::wipe(from, len);
  pool.left -= len;
  return true;
}

}  // namespace kyber_alg::kyber
