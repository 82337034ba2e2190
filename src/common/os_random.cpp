#include "common/os_random.hpp"

#include <pthread.h>
#include <sys/random.h>

#include <cerrno>
#include <cstring>

#include "common/ct.hpp"

namespace kyber_alg {

namespace {

bool getrandom_all(uint8_t* out, std::size_t len) {
  while (len > 0) {
    const ssize_t got = getrandom(out, len, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) {  // not expected from getrandom; avoid looping forever
      errno = EIO;
      return false;
    }
    out += got;
    len -= static_cast<std::size_t>(got);
  }
  return true;
}

constexpr std::size_t kPoolSize = 1024;

struct Pool {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  uint8_t bytes[kPoolSize];
  std::size_t left = 0;  // the unused bytes are bytes[kPoolSize - left, kPoolSize)
};

Pool pool;

// fork() while another thread holds the lock would leave the child's copy
// locked forever: the lock is taken around the fork, and the child drops what
// its parent may still hand out.
void lock_before_fork() { pthread_mutex_lock(&pool.lock); }
void unlock_in_parent() { pthread_mutex_unlock(&pool.lock); }
void empty_in_child() {
  ct::wipe(pool.bytes, sizeof pool.bytes);
  pool.left = 0;
  pthread_mutex_unlock(&pool.lock);
}

const bool fork_safe = pthread_atfork(lock_before_fork, unlock_in_parent, empty_in_child) == 0;

}  // namespace

bool os_random(uint8_t* out, std::size_t len) {
  if (len > kPooledMax || !fork_safe) return getrandom_all(out, len);
  pthread_mutex_lock(&pool.lock);
  bool ok = true;
  if (pool.left < len) {
    ok = getrandom_all(pool.bytes, kPoolSize);
    pool.left = ok ? kPoolSize : 0;
  }
  if (ok) {
    uint8_t* from = pool.bytes + kPoolSize - pool.left;
    std::memcpy(out, from, len);
    ct::wipe(from, len);
    pool.left -= len;
  }
  const int saved_errno = errno;
  pthread_mutex_unlock(&pool.lock);
  errno = saved_errno;
  return ok;
}

}  // namespace kyber_alg
