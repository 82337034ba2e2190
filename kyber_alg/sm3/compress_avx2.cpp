// SM3 compression on the avx2 path. CF is one serial chain of rounds, so
// this path keeps the scalar rounds and lets the compiler use BMI1/BMI2
// (rorx and andn: rotations and choices without extra register moves). A
// vector message expansion was tried and was slower: its stores and the
// rounds' loads of the same words did not overlap well.
#include "sm3/kernels.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR
#include "sm3/rounds.hpp"

namespace kyber_alg::sm3 {
namespace {

KYBER_ALG_TARGET_AVX2 void compress_blocks_avx2(uint32_t v[8], const uint8_t* data, std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) compress_interleaved(v, data + 64 * i);
}

const Kernels kAvx2 = {compress_blocks_avx2};

}  // namespace

const Kernels* const kAvx2Kernels = &kAvx2;

}  // namespace kyber_alg::sm3

#else

namespace kyber_alg::sm3 {
const Kernels* const kAvx2Kernels = nullptr;
}  // namespace kyber_alg::sm3

#endif
