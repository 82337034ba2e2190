#include "common/os_random.hpp"

#include <sys/random.h>

#include <cerrno>

namespace kyber_alg {

bool os_random(uint8_t* out, std::size_t len) {
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

}  // namespace kyber_alg
