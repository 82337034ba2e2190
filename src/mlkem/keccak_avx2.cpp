// The scalar Keccak-f[1600] built for CPUs of the AVX2 path: BMI1 turns
// ~b & c into one andn and BMI2 gives rorx, about a quarter faster than the
// portable build of the same source.
#include "mlkem/keccak_avx2.hpp"
#include "common/cpu.hpp"
#include "mlkem/keccak_round.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR

namespace kyber_alg::mlkem::avx2 {

KYBER_ALG_TARGET_AVX2 void keccak_f1600(uint64_t s[25]) { KECCAK_F1600_BODY(s) }

}  // namespace kyber_alg::mlkem::avx2

#endif  // KYBER_ALG_HAVE_X86_VECTOR
