#include "codec/common/lp_filter.h"

#include <cstring>

#include "codec/simd/lp_synthesis_steps.h"
#include "codec/simd/simd.h"

namespace g729a {

namespace {

void lp_residual_scalar(const double* a, const double* x, double* y, int from, int length) {
  for (int n = from; n < length; ++n) {
    double v = x[n];
    for (int k = 1; k <= 10; ++k) v += a[k] * x[n - k];
    y[n] = v;
  }
}

// Outputs of the FIR filter are independent: two or four per step.
template <int W>
[[gnu::always_inline]] inline void lp_residual_lanes(const double* a, const double* x, double* y,
                                                     int length) {
  using V = typename LaneVector<W>::type;
  int n = 0;
  for (; n + W <= length; n += W) {
    V v;
    residual_outputs<W>(a, x + n, v);
    std::memcpy(y + n, &v, sizeof v);
  }
  lp_residual_scalar(a, x, y, n, length);
}

#if defined(G729A_HAVE_SSE2)
void lp_residual_sse2(const double* a, const double* x, double* y, int length) {
  lp_residual_lanes<2>(a, x, y, length);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void lp_residual_avx2(const double* a, const double* x, double* y, int length) {
  lp_residual_lanes<4>(a, x, y, length);
}
#endif

}  // namespace

void lp_residual(const LpVector& a, const double* x, double* y, int length) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return lp_residual_avx2(a.data(), x, y, length);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return lp_residual_sse2(a.data(), x, y, length);
#endif
  lp_residual_scalar(a.data(), x, y, 0, length);
}

namespace {

void lp_synthesis_scalar(const double* a, const double* x, double* y, int length) {
  synthesis_steps(a, x, y, length);
}

#if defined(G729A_HAVE_AVX2)
// The same scalar arithmetic in three-operand (VEX) form: fewer instructions.
G729A_AVX2 void lp_synthesis_avx2(const double* a, const double* x, double* y, int length) {
  synthesis_steps(a, x, y, length);
}
#endif

#if defined(G729A_HAVE_SSE2)
void lp_synthesis_pair_sse2(const double* a0, const double* x0, double* y0, const double* a1,
                            const double* x1, double* y1, int length) {
  pair_synthesis_steps(a0, x0, y0, a1, x1, y1, length);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void lp_synthesis_pair_avx2(const double* a0, const double* x0, double* y0,
                                       const double* a1, const double* x1, double* y1, int length) {
  pair_synthesis_steps(a0, x0, y0, a1, x1, y1, length);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void lp_synthesis_four(const SynthesisRun* runs, int length) {
  four_synthesis_steps(runs, length);
}
#endif

}  // namespace

void lp_synthesis_runs(std::span<const SynthesisRun> runs, int length) {
  const int count = static_cast<int>(runs.size());
#if defined(G729A_HAVE_AVX2)
  constexpr int kScratchLength = 80;
  if (simd_path() == SimdPath::Avx2 && count >= 3 && length <= kScratchLength) {
    // A missing fourth run repeats the first into scratch memory.
    SynthesisRun four[4] = {runs[0], runs[1], runs[2], runs[0]};
    alignas(32) std::array<double, 10 + kScratchLength> scratch;
    if (count == 4) {
      four[3] = runs[3];
    } else {
      for (int i = 0; i < 10; ++i) scratch[i] = runs[0].y[i - 10];
      four[3].y = scratch.data() + 10;
    }
    return lp_synthesis_four(four, length);
  }
#endif
  int i = 0;
  for (; i + 2 <= count; i += 2) {
    lp_synthesis_pair(*runs[i].a, runs[i].x, runs[i].y, *runs[i + 1].a, runs[i + 1].x,
                      runs[i + 1].y, length);
  }
  if (i < count) lp_synthesis(*runs[i].a, runs[i].x, runs[i].y, length);
}

void lp_synthesis_pair(const LpVector& a0, const double* x0, double* y0, const LpVector& a1,
                       const double* x1, double* y1, int length) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) {
    return lp_synthesis_pair_avx2(a0.data(), x0, y0, a1.data(), x1, y1, length);
  }
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) {
    return lp_synthesis_pair_sse2(a0.data(), x0, y0, a1.data(), x1, y1, length);
  }
#endif
  lp_synthesis_scalar(a0.data(), x0, y0, length);
  lp_synthesis_scalar(a1.data(), x1, y1, length);
}

void lp_synthesis(const LpVector& a, const double* x, double* y, int length) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return lp_synthesis_avx2(a.data(), x, y, length);
#endif
  lp_synthesis_scalar(a.data(), x, y, length);
}

void synthesize_subframe(const LpVector& a, const double* x, const std::array<double, 10>& past,
                         double* y, std::array<double, 10>* next) {
  alignas(32) std::array<double, 50> buf;  // ten past outputs, then the subframe
  for (int i = 0; i < 10; ++i) buf[i] = past[i];
  lp_synthesis(a, x, buf.data() + 10, 40);
  for (int n = 0; n < 40; ++n) y[n] = buf[10 + n];
  if (next != nullptr) {
    for (int i = 0; i < 10; ++i) (*next)[i] = buf[40 + i];
  }
}

}  // namespace g729a
