#include "codec/common/adaptive_codebook.h"

#include <cstring>

#include "codec/common/tables.h"
#include "codec/simd/simd.h"

namespace g729a {
namespace {

void scalar_samples(double* exc, const AdaptivePlan& plan) {
  for (int n = 0; n < kSubframeLength; ++n) {
    const double* x1 = exc + plan.base + n;
    const double* x2 = x1 + 1;
    double v = 0.0;
    for (int i = 0; i < 10; ++i) v += x1[-i] * plan.c1[i] + x2[i] * plan.c2[i];
    exc[n] = v;
  }
}

#if defined(G729A_HAVE_SSE2)
void sse2_samples(double* exc, const AdaptivePlan& plan) {
  for (int n = 0; n < kSubframeLength; n += 2) adaptive_codebook_group<2>(plan, n, exc);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void avx2_samples(double* exc, const AdaptivePlan& plan) {
  for (int n = 0; n < kSubframeLength; n += 4) adaptive_codebook_group<4>(plan, n, exc);
}
#endif

}  // namespace

void adaptive_codebook_plan(int T, int f, AdaptivePlan& plan) {
  const double* h = pitch_interp_filter;
  int u = -f;
  plan.base = -T;
  if (u < 0) {
    u += 3;
    plan.base = -T - 1;
  }
  for (int i = 0; i < 10; ++i) {
    plan.c1[i] = h[u + 3 * i];
    plan.c2[i] = h[3 - u + 3 * i];
  }
}

void adaptive_codebook_vector(double* exc, int T, int f) {
  AdaptivePlan plan;
  adaptive_codebook_plan(T, f, plan);
  adaptive_codebook_fill(plan, exc);
}

void adaptive_codebook_fill(const AdaptivePlan& plan, double* exc) {
  if (adaptive_groups_apart(plan)) {
#if defined(G729A_HAVE_AVX2)
    if (simd_path() == SimdPath::Avx2) return avx2_samples(exc, plan);
#endif
#if defined(G729A_HAVE_SSE2)
    if (simd_path() == SimdPath::Sse2) return sse2_samples(exc, plan);
#endif
  }
  scalar_samples(exc, plan);
}

}  // namespace g729a
