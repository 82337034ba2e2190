// The table read with AVX2: an entry (x and y, 64 bytes) is two 256-bit
// lanes, kept or dropped together by one 64-bit compare of the index.
#include "sm2/table.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR
#include <immintrin.h>

namespace kyber_alg::sm2 {

namespace {

KYBER_ALG_TARGET_AVX2 void read_avx2(AffinePoint& out, const AffinePoint* table, int count, uint64_t index) {
  const __m256i wanted = _mm256_set1_epi64x(static_cast<long long>(index));
  const __m256i one = _mm256_set1_epi64x(1);
  __m256i position = one;
  __m256i x = _mm256_setzero_si256(), y = _mm256_setzero_si256();
  for (int j = 0; j < count; ++j) {
    const __m256i hit = _mm256_cmpeq_epi64(position, wanted);
    x = _mm256_or_si256(
        x, _mm256_and_si256(hit, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table[j].x.v))));
    y = _mm256_or_si256(
        y, _mm256_and_si256(hit, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table[j].y.v))));
    position = _mm256_add_epi64(position, one);
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.x.v), x);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.y.v), y);
}

const TableKernels kAvx2 = {read_avx2};

}  // namespace

const TableKernels* const kAvx2TableKernels = &kAvx2;

}  // namespace kyber_alg::sm2

#else

namespace kyber_alg::sm2 {
const TableKernels* const kAvx2TableKernels = nullptr;
}  // namespace kyber_alg::sm2

#endif
