// The tenth-order recursion of the LP synthesis filter written out step by
// step, for the kernels that run it (alone, in lanes, or interleaved with other work),
// and the residual filter's outputs several at a time.
// Internal to the codec's filter code.
#pragma once

#include <cstring>

#include "codec/common/lp_filter.h"
#include "codec/simd/simd.h"

namespace g729a {

// Ten steps of a tenth-order recursion with its past outputs in r0..r9: each
// step's output takes the place of the oldest, so the names rotate instead of
// the values.
#define G729A_TEN_STEPS(STEP)                     \
  STEP(0, r9, r8, r7, r6, r5, r4, r3, r2, r1, r0) \
  STEP(1, r0, r9, r8, r7, r6, r5, r4, r3, r2, r1) \
  STEP(2, r1, r0, r9, r8, r7, r6, r5, r4, r3, r2) \
  STEP(3, r2, r1, r0, r9, r8, r7, r6, r5, r4, r3) \
  STEP(4, r3, r2, r1, r0, r9, r8, r7, r6, r5, r4) \
  STEP(5, r4, r3, r2, r1, r0, r9, r8, r7, r6, r5) \
  STEP(6, r5, r4, r3, r2, r1, r0, r9, r8, r7, r6) \
  STEP(7, r6, r5, r4, r3, r2, r1, r0, r9, r8, r7) \
  STEP(8, r7, r6, r5, r4, r3, r2, r1, r0, r9, r8) \
  STEP(9, r8, r7, r6, r5, r4, r3, r2, r1, r0, r9)

// The first `rest` (< 10) of those steps.
#define G729A_REST_STEPS(STEP)                                  \
  if (rest > 0) STEP(0, r9, r8, r7, r6, r5, r4, r3, r2, r1, r0) \
  if (rest > 1) STEP(1, r0, r9, r8, r7, r6, r5, r4, r3, r2, r1) \
  if (rest > 2) STEP(2, r1, r0, r9, r8, r7, r6, r5, r4, r3, r2) \
  if (rest > 3) STEP(3, r2, r1, r0, r9, r8, r7, r6, r5, r4, r3) \
  if (rest > 4) STEP(4, r3, r2, r1, r0, r9, r8, r7, r6, r5, r4) \
  if (rest > 5) STEP(5, r4, r3, r2, r1, r0, r9, r8, r7, r6, r5) \
  if (rest > 6) STEP(6, r5, r4, r3, r2, r1, r0, r9, r8, r7, r6) \
  if (rest > 7) STEP(7, r6, r5, r4, r3, r2, r1, r0, r9, r8, r7) \
  if (rest > 8) STEP(8, r7, r6, r5, r4, r3, r2, r1, r0, r9, r8)

// One output of the recursion, the ten previous ones held in the variables
// p1 (newest) .. p10; the new output replaces p10. Naming the variables
// round a cycle of ten steps keeps the whole history in registers without a
// move per sample.
#define G729A_SYNTHESIS_STEP(n, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10) \
  {                                                                      \
    double v = x[n];                                                     \
    v -= a1 * p1;                                                        \
    v -= a2 * p2;                                                        \
    v -= a3 * p3;                                                        \
    v -= a4 * p4;                                                        \
    v -= a5 * p5;                                                        \
    v -= a6 * p6;                                                        \
    v -= a7 * p7;                                                        \
    v -= a8 * p8;                                                        \
    v -= a9 * p9;                                                        \
    v -= a10 * p10;                                                      \
    y[n] = v;                                                            \
    p10 = v;                                                             \
    interleaved(done + (n));                                             \
  }

// Work that runs interleaved with the recursion, one call per output index.
struct NothingInterleaved {
  void operator()(int) const {}
};

// lp_synthesis, calling interleaved(n) after output n: an independent chain of
// work placed there overlaps the recursion's. rK holds the output whose
// index is K modulo 10.
template <class Interleaved = NothingInterleaved>
[[gnu::always_inline]] inline void synthesis_steps(const double* a, const double* x, double* y,
                                                   int length, Interleaved interleaved = {}) {
  const double a1 = a[1], a2 = a[2], a3 = a[3], a4 = a[4], a5 = a[5];
  const double a6 = a[6], a7 = a[7], a8 = a[8], a9 = a[9], a10 = a[10];
  double r0 = y[-10], r1 = y[-9], r2 = y[-8], r3 = y[-7], r4 = y[-6];
  double r5 = y[-5], r6 = y[-4], r7 = y[-3], r8 = y[-2], r9 = y[-1];
  int done = 0;
  for (; done + 10 <= length; done += 10, x += 10, y += 10) {
    G729A_TEN_STEPS(G729A_SYNTHESIS_STEP)
  }
  // The rest of a length that is not a multiple of ten (the post-filter's 22).
  const int rest = length - done;
  G729A_REST_STEPS(G729A_SYNTHESIS_STEP)
}

// W consecutive outputs of lp_residual at once: lane l is x[l] + a[1]
// x[l-1] + ... + a[10] x[l-10], added in increasing k. in: a (a[0] unused),
// x[-10..W-1]; out: v.
template <int W>
[[gnu::always_inline]] inline void residual_outputs(const double* a, const double* x,
                                                    typename LaneVector<W>::type& v) {
  using V = typename LaneVector<W>::type;
  std::memcpy(&v, x, sizeof v);
  for (int k = 1; k <= 10; ++k) {
    V ak, past;
    for (int l = 0; l < W; ++l) ak[l] = a[k];
    std::memcpy(&past, x - k, sizeof past);
    v = v + ak * past;
  }
}

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
    interleaved(done + (n));                                        \
  }

// Two independent runs of lp_synthesis of the same length, one per lane,
// calling interleaved(n) after output n of both.
template <class Interleaved = NothingInterleaved>
[[gnu::always_inline]] inline void pair_synthesis_steps(const double* a0, const double* x0,
                                                        double* y0, const double* a1,
                                                        const double* x1, double* y1, int length,
                                                        Interleaved interleaved = {}) {
  __m128d c[11];
  for (int k = 1; k <= 10; ++k) c[k] = _mm_set_pd(a1[k], a0[k]);
  __m128d r0 = _mm_set_pd(y1[-10], y0[-10]), r1 = _mm_set_pd(y1[-9], y0[-9]);
  __m128d r2 = _mm_set_pd(y1[-8], y0[-8]), r3 = _mm_set_pd(y1[-7], y0[-7]);
  __m128d r4 = _mm_set_pd(y1[-6], y0[-6]), r5 = _mm_set_pd(y1[-5], y0[-5]);
  __m128d r6 = _mm_set_pd(y1[-4], y0[-4]), r7 = _mm_set_pd(y1[-3], y0[-3]);
  __m128d r8 = _mm_set_pd(y1[-2], y0[-2]), r9 = _mm_set_pd(y1[-1], y0[-1]);
  int done = 0;
  for (; done + 10 <= length; done += 10, x0 += 10, x1 += 10, y0 += 10, y1 += 10) {
    G729A_TEN_STEPS(G729A_PAIR_STEP)
  }
  const int rest = length - done;
  G729A_REST_STEPS(G729A_PAIR_STEP)
}

#undef G729A_PAIR_STEP
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
    interleaved(done + (n));                                         \
  }

// Four independent runs of lp_synthesis of the same length, run l in lane
// l, calling interleaved(n) after output n of all four. Inlined only into
// G729A_AVX2 functions.
template <class Interleaved = NothingInterleaved>
[[gnu::always_inline]] inline void four_synthesis_steps(const SynthesisRun* runs, int length,
                                                        Interleaved interleaved = {}) {
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
  int done = 0;
  for (; done + 10 <= length; done += 10) {
    G729A_TEN_STEPS(G729A_LANES_STEP)
    for (int l = 0; l < 4; ++l) x[l] += 10, y[l] += 10;
  }
  const int rest = length - done;
  G729A_REST_STEPS(G729A_LANES_STEP)
}

#undef G729A_LANES_STEP
#endif

}  // namespace g729a
