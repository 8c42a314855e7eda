#include "codec/common/adaptive_codebook.h"

#include "codec/common/simd.h"
#include "codec/common/tables.h"

namespace g729a {
namespace {

// Taps of one fraction: past side c1[i] = h[u + 3i], future side
// c2[i] = h[3 - u + 3i].
struct Taps {
  double c1[10];
  double c2[10];
};

void scalar_samples(double* exc, int base, const Taps& t, int from) {
  for (int n = from; n < kSubframeLength; ++n) {
    const double* x1 = exc + base + n;
    const double* x2 = x1 + 1;
    double v = 0.0;
    for (int i = 0; i < 10; ++i) v += x1[-i] * t.c1[i] + x2[i] * t.c2[i];
    exc[n] = v;
  }
}

// With base <= -14 (delays from 14 up) no sample of a group of four reads
// another of its group, so the group can be formed side by side.
#if defined(G729A_HAVE_SSE2)
void sse2_samples(double* exc, int base, const Taps& t) {
  for (int n = 0; n < kSubframeLength; n += 2) {
    const double* x1 = exc + base + n;
    const double* x2 = x1 + 1;
    __m128d v = _mm_setzero_pd();
    for (int i = 0; i < 10; ++i) {
      const __m128d p1 = _mm_mul_pd(_mm_loadu_pd(x1 - i), _mm_set1_pd(t.c1[i]));
      const __m128d p2 = _mm_mul_pd(_mm_loadu_pd(x2 + i), _mm_set1_pd(t.c2[i]));
      v = _mm_add_pd(v, _mm_add_pd(p1, p2));
    }
    _mm_storeu_pd(exc + n, v);
  }
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void avx2_samples(double* exc, int base, const Taps& t) {
  for (int n = 0; n < kSubframeLength; n += 4) {
    const double* x1 = exc + base + n;
    const double* x2 = x1 + 1;
    __m256d v = _mm256_setzero_pd();
    for (int i = 0; i < 10; ++i) {
      const __m256d p1 = _mm256_mul_pd(_mm256_loadu_pd(x1 - i), _mm256_set1_pd(t.c1[i]));
      const __m256d p2 = _mm256_mul_pd(_mm256_loadu_pd(x2 + i), _mm256_set1_pd(t.c2[i]));
      v = _mm256_add_pd(v, _mm256_add_pd(p1, p2));
    }
    _mm256_storeu_pd(exc + n, v);
  }
}
#endif

}  // namespace

void adaptive_codebook_vector(double* exc, int T, int f) {
  const double* h = pitch_interp_filter;
  int u = -f;
  int base = -T;
  if (u < 0) {
    u += 3;
    base = -T - 1;
  }
  Taps taps;
  for (int i = 0; i < 10; ++i) {
    taps.c1[i] = h[u + 3 * i];
    taps.c2[i] = h[3 - u + 3 * i];
  }
  if (base <= -14) {
#if defined(G729A_HAVE_AVX2)
    if (simd_path() == SimdPath::Avx2) return avx2_samples(exc, base, taps);
#endif
#if defined(G729A_HAVE_SSE2)
    if (simd_path() == SimdPath::Sse2) return sse2_samples(exc, base, taps);
#endif
  }
  scalar_samples(exc, base, taps, 0);
}

}  // namespace g729a
