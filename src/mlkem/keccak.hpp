// Keccak-f[1600] and the FIPS 202 functions ML-KEM uses: SHA3-256 (H),
// SHA3-512 (G), SHAKE128 (the XOF of SampleNTT) and SHAKE256 (PRF and J).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::mlkem {

// Iota's round constants, shared by the scalar and the four-way permutation.
inline constexpr uint64_t keccak_round_constants[24] = {
    0x0000000000000001ULL, 0x0000000000008082ULL, 0x800000000000808aULL, 0x8000000080008000ULL,
    0x000000000000808bULL, 0x0000000080000001ULL, 0x8000000080008081ULL, 0x8000000000008009ULL,
    0x000000000000008aULL, 0x0000000000000088ULL, 0x0000000080008009ULL, 0x000000008000000aULL,
    0x000000008000808bULL, 0x800000000000008bULL, 0x8000000000008089ULL, 0x8000000000008003ULL,
    0x8000000000008002ULL, 0x8000000000000080ULL, 0x000000000000800aULL, 0x800000008000000aULL,
    0x8000000080008081ULL, 0x8000000000008080ULL, 0x0000000080000001ULL, 0x8000000080008008ULL,
};

// Keccak-f[1600] on one state in plain C++ (keccak_avx2.hpp has the build for
// CPUs of the AVX2 path); the sponges call the one the kernel table holds.
namespace portable {
void keccak_f1600(uint64_t state[25]);
}

// Sponge over Keccak-f[1600] with a fixed rate and domain-separation byte.
// Usage: absorb() any number of times, then squeeze() any number of times.
template <std::size_t Rate, uint8_t Domain>
class Sponge {
 public:
  static constexpr std::size_t rate = Rate;

  Sponge() = default;
  Sponge(const Sponge&) = delete;
  Sponge& operator=(const Sponge&) = delete;
  ~Sponge();

  void absorb(const uint8_t* in, std::size_t len);
  void squeeze(uint8_t* out, std::size_t len);
  // Whole rate-sized blocks, the fast path of SampleNTT.
  void squeeze_blocks(uint8_t* out, std::size_t blocks);

 private:
  void finish_absorb();

  uint64_t state_[25] = {};
  std::size_t pos_ = 0;  // byte offset inside the current block
  bool squeezing_ = false;
};

using Sha3_256 = Sponge<136, 0x06>;
using Sha3_512 = Sponge<72, 0x06>;
using Shake128 = Sponge<168, 0x1f>;
using Shake256 = Sponge<136, 0x1f>;

extern template class Sponge<136, 0x06>;
extern template class Sponge<72, 0x06>;
extern template class Sponge<168, 0x1f>;
extern template class Sponge<136, 0x1f>;

}  // namespace kyber_alg::mlkem
