#include "codec/common/adaptive_codebook.h"

#include <cstring>

#include "codec/common/simd.h"
#include "codec/common/tables.h"

namespace g729a {
namespace {

// Taps of one fraction: past side c1[i] = h[u + 3i], future side
// c2[i] = h[3 - u + 3i].
struct Taps {
  alignas(32) double c1[10];
  alignas(32) double c2[10];
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
// another of its group, so the group can be formed side by side, W at once.
template <int W>
[[gnu::always_inline]] inline void lane_samples(double* exc, int base, const Taps& t) {
  using V = typename LaneVector<W>::type;
  for (int n = 0; n < kSubframeLength; n += W) {
    const double* x1 = exc + base + n;
    const double* x2 = x1 + 1;
    V v = {};
    for (int i = 0; i < 10; ++i) {
      V a, b, c1, c2;
      std::memcpy(&a, x1 - i, sizeof a);
      std::memcpy(&b, x2 + i, sizeof b);
      for (int k = 0; k < W; ++k) c1[k] = t.c1[i], c2[k] = t.c2[i];
      v = v + (a * c1 + b * c2);
    }
    std::memcpy(exc + n, &v, sizeof v);
  }
}

#if defined(G729A_HAVE_SSE2)
void sse2_samples(double* exc, int base, const Taps& t) {
  lane_samples<2>(exc, base, t);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void avx2_samples(double* exc, int base, const Taps& t) {
  lane_samples<4>(exc, base, t);
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
