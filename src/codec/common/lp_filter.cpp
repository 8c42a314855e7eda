#include "codec/common/lp_filter.h"

#include <cstring>

#include "codec/common/lp_synthesis_steps.h"
#include "codec/common/simd.h"

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
    std::memcpy(&v, x + n, sizeof v);
    for (int k = 1; k <= 10; ++k) {
      V ak, past;
      for (int l = 0; l < W; ++l) ak[l] = a[k];
      std::memcpy(&past, x + n - k, sizeof past);
      v = v + ak * past;
    }
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
// synthesis_steps with lane 0 filter 0 and lane 1 filter 1.
#define G729A_PAIR_STEP(n, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10) \
  {                                                                 \
    __m128d v = _mm_set_pd(x1[n], x0[n]);                           \
    v = _mm_sub_pd(v, _mm_mul_pd(c[1], p1));                        \
    v = _mm_sub_pd(v, _mm_mul_pd(c[2], p2));                        \
    v = _mm_sub_pd(v, _mm_mul_pd(c[3], p3));                        \
    v = _mm_sub_pd(v, _mm_mul_pd(c[4], p4));                        \
    v = _mm_sub_pd(v, _mm_mul_pd(c[5], p5));                        \
    v = _mm_sub_pd(v, _mm_mul_pd(c[6], p6));                        \
    v = _mm_sub_pd(v, _mm_mul_pd(c[7], p7));                        \
    v = _mm_sub_pd(v, _mm_mul_pd(c[8], p8));                        \
    v = _mm_sub_pd(v, _mm_mul_pd(c[9], p9));                        \
    v = _mm_sub_pd(v, _mm_mul_pd(c[10], p10));                      \
    _mm_storel_pd(y0 + (n), v);                                     \
    _mm_storeh_pd(y1 + (n), v);                                     \
    p10 = v;                                                        \
  }

[[gnu::always_inline]] inline void pair_steps(const double* a0, const double* x0, double* y0,
                                              const double* a1, const double* x1, double* y1,
                                              int length) {
  __m128d c[11];
  for (int k = 1; k <= 10; ++k) c[k] = _mm_set_pd(a1[k], a0[k]);
  __m128d r0 = _mm_set_pd(y1[-10], y0[-10]), r1 = _mm_set_pd(y1[-9], y0[-9]);
  __m128d r2 = _mm_set_pd(y1[-8], y0[-8]), r3 = _mm_set_pd(y1[-7], y0[-7]);
  __m128d r4 = _mm_set_pd(y1[-6], y0[-6]), r5 = _mm_set_pd(y1[-5], y0[-5]);
  __m128d r6 = _mm_set_pd(y1[-4], y0[-4]), r7 = _mm_set_pd(y1[-3], y0[-3]);
  __m128d r8 = _mm_set_pd(y1[-2], y0[-2]), r9 = _mm_set_pd(y1[-1], y0[-1]);
  int n = 0;
  for (; n + 10 <= length; n += 10, x0 += 10, x1 += 10, y0 += 10, y1 += 10) {
    G729A_TEN_STEPS(G729A_PAIR_STEP)
  }
  const int rest = length - n;
  G729A_REST_STEPS(G729A_PAIR_STEP)
}

#undef G729A_PAIR_STEP

void lp_synthesis_pair_sse2(const double* a0, const double* x0, double* y0, const double* a1,
                            const double* x1, double* y1, int length) {
  pair_steps(a0, x0, y0, a1, x1, y1, length);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void lp_synthesis_pair_avx2(const double* a0, const double* x0, double* y0,
                                       const double* a1, const double* x1, double* y1, int length) {
  pair_steps(a0, x0, y0, a1, x1, y1, length);
}
#endif

#if defined(G729A_HAVE_AVX2)
// synthesis_steps with run l in lane l.
#define G729A_LANES_STEP(n, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10) \
  {                                                                  \
    V v;                                                             \
    for (int l = 0; l < 4; ++l) v[l] = x[l][n];                      \
    v = v - c[1] * p1;                                               \
    v = v - c[2] * p2;                                               \
    v = v - c[3] * p3;                                               \
    v = v - c[4] * p4;                                               \
    v = v - c[5] * p5;                                               \
    v = v - c[6] * p6;                                               \
    v = v - c[7] * p7;                                               \
    v = v - c[8] * p8;                                               \
    v = v - c[9] * p9;                                               \
    v = v - c[10] * p10;                                             \
    for (int l = 0; l < 4; ++l) y[l][n] = v[l];                      \
    p10 = v;                                                         \
  }

G729A_AVX2 void lp_synthesis_four(const SynthesisRun* runs, int length) {
  using V = typename LaneVector<4>::type;
  V c[11];
  const double* x[4];
  double* y[4];
  for (int l = 0; l < 4; ++l) {
    for (int k = 1; k <= 10; ++k) c[k][l] = (*runs[l].a)[k];
    x[l] = runs[l].x;
    y[l] = runs[l].y;
  }
  V r0, r1, r2, r3, r4, r5, r6, r7, r8, r9;
  for (int l = 0; l < 4; ++l) {
    r0[l] = y[l][-10], r1[l] = y[l][-9], r2[l] = y[l][-8], r3[l] = y[l][-7];
    r4[l] = y[l][-6], r5[l] = y[l][-5], r6[l] = y[l][-4], r7[l] = y[l][-3];
    r8[l] = y[l][-2], r9[l] = y[l][-1];
  }
  int n = 0;
  for (; n + 10 <= length; n += 10) {
    G729A_TEN_STEPS(G729A_LANES_STEP)
    for (int l = 0; l < 4; ++l) x[l] += 10, y[l] += 10;
  }
  const int rest = length - n;
  G729A_REST_STEPS(G729A_LANES_STEP)
}

#undef G729A_LANES_STEP
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
