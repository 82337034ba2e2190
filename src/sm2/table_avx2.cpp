// The table read with AVX2: an entry (x and y, 64 bytes) is two 256-bit
// lanes, kept or dropped together by one 64-bit compare of the index.
#include "sm2/table.hpp"

#if KYBER_ALG_HAVE_X86_VECTOR
#include <immintrin.h>

namespace kyber_alg::sm2 {

namespace {

KYBER_ALG_TARGET_AVX2 inline __m256i load(const Fe& a) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a.v));
}

// Two entries a round into separate accumulators, which halves the chain of
// ORs that each entry would otherwise wait on. count is even.
KYBER_ALG_TARGET_AVX2 void read_avx2(AffinePoint& out, const AffinePoint* table, int count, uint64_t index) {
  const __m256i wanted = _mm256_set1_epi64x(static_cast<long long>(index));
  const __m256i two = _mm256_set1_epi64x(2);
  __m256i position0 = _mm256_set1_epi64x(1), position1 = _mm256_set1_epi64x(2);
  __m256i x0 = _mm256_setzero_si256(), y0 = x0, x1 = x0, y1 = x0;
  for (int j = 0; j < count; j += 2) {
    const __m256i hit0 = _mm256_cmpeq_epi64(position0, wanted);
    const __m256i hit1 = _mm256_cmpeq_epi64(position1, wanted);
    x0 = _mm256_or_si256(x0, _mm256_and_si256(hit0, load(table[j].x)));
    y0 = _mm256_or_si256(y0, _mm256_and_si256(hit0, load(table[j].y)));
    x1 = _mm256_or_si256(x1, _mm256_and_si256(hit1, load(table[j + 1].x)));
    y1 = _mm256_or_si256(y1, _mm256_and_si256(hit1, load(table[j + 1].y)));
    position0 = _mm256_add_epi64(position0, two);
    position1 = _mm256_add_epi64(position1, two);
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.x.v), _mm256_or_si256(x0, x1));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.y.v), _mm256_or_si256(y0, y1));
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
