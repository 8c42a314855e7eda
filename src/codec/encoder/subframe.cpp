#include "codec/encoder/subframe.h"

#include "codec/common/lp_filter.h"
#include "codec/common/numeric.h"
#include "codec/simd/lanes.h"
#include "codec/simd/simd.h"

namespace g729a {

void weighted_synthesis(const double* u, const LpVector& ap, const std::array<double, 10>& memory,
                        double* y) {
  synthesize_subframe(ap, u, memory, y, nullptr);
}

void frame_start_syntheses(const LpVector& c0, const std::array<LpVector, 2>& ap, const double* res,
                           const std::array<double, 10>& target_memory,
                           std::array<double, 10>& wsp_memory, double* wsp, double* h0, double* h1,
                           double* x0) {
  // Each buffer: ten past outputs, then the subframe.
  // Cleared by plain loops: only what is read, with vector stores.
  alignas(32) std::array<double, 50> wb;
  alignas(32) std::array<double, 50> hb0;
  alignas(32) std::array<double, 50> hb1;
  alignas(32) std::array<double, 50> xb;
  alignas(32) std::array<double, 40> impulse;
  for (int n = 0; n < 40; ++n) impulse[n] = 0.0;
  impulse[0] = 1.0;
  for (int k = 0; k < 10; ++k) {
    wb[k] = wsp_memory[k];
    hb0[k] = 0.0;
    hb1[k] = 0.0;
    xb[k] = target_memory[k];
  }
  const SynthesisRun runs[4] = {{&c0, res, wb.data() + 10},
                                {&ap[0], impulse.data(), hb0.data() + 10},
                                {&ap[0], res, xb.data() + 10},
                                {&ap[1], impulse.data(), hb1.data() + 10}};
  lp_synthesis_runs(runs, 40);
  for (int n = 0; n < 40; ++n) {
    wsp[n] = wb[10 + n];
    h0[n] = hb0[10 + n];
    h1[n] = hb1[10 + n];
    x0[n] = xb[10 + n];
  }
  for (int k = 0; k < 10; ++k) wsp_memory[k] = wb[40 + k];
  flush_memory(wsp_memory);
}

namespace {

void backward_filter_scalar(const double* x, const double* h, double* d) {
  for (int n = 0; n < 40; ++n) {
    double s = 0.0;
    for (int k = n; k < 40; ++k) s += x[k] * h[k - n];
    d[n] = s;
  }
}

#if defined(G729A_HAVE_SSE2)
// Lanes hold d[n + 1] and d[n]; each starts at its own k.
void backward_filter_sse2(const double* x, const double* h, double* d) {
  for (int n = 0; n < 40; n += 2) {
    __m128d s = _mm_set_pd(0.0 + x[n] * h[0], 0.0);
    for (int k = n + 1; k < 40; ++k) {
      s = _mm_add_pd(s, _mm_mul_pd(_mm_set1_pd(x[k]), _mm_loadu_pd(h + k - n - 1)));
    }
    _mm_storel_pd(d + n + 1, s);
    _mm_storeh_pd(d + n, s);
  }
}
#endif

#if defined(G729A_HAVE_AVX2)
// Lanes hold d[n .. n + 3], h read backwards; the first three steps, where
// not every lane has started, are done one lane at a time.
G729A_AVX2 void backward_filter_avx2(const double* x, const double* h, double* d) {
  alignas(32) double hr[40];
  for (int k = 0; k < 40; ++k) hr[k] = h[39 - k];
  for (int n = 0; n < 40; n += 4) {
    double s0 = 0.0 + x[n] * h[0];
    s0 += x[n + 1] * h[1];
    double s1 = 0.0 + x[n + 1] * h[0];
    s0 += x[n + 2] * h[2];
    s1 += x[n + 2] * h[1];
    const double s2 = 0.0 + x[n + 2] * h[0];
    __m256d s = _mm256_set_pd(0.0, s2, s1, s0);
    for (int k = n + 3; k < 40; ++k) {
      // Lane l needs h[k - n - l] = hr[39 - k + n + l].
      s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_set1_pd(x[k]), _mm256_loadu_pd(hr + 39 - k + n)));
    }
    _mm256_storeu_pd(d + n, s);
  }
}
#endif

}  // namespace

void backward_filter(const double* x, const double* h, double* d) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return backward_filter_avx2(x, h, d);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return backward_filter_sse2(x, h, d);
#endif
  backward_filter_scalar(x, h, d);
}

double adaptive_gain(const double* x, const double* y1, double* g0, double* g1) {
  double yy = 0.01;
  for (int n = 0; n < 40; ++n) yy += y1[n] * y1[n];
  double xy = 0.0;
  for (int n = 0; n < 40; ++n) xy += x[n] * y1[n];
  *g0 = yy;
  *g1 = -2 * xy + 0.01;
  double gp = xy / yy;
  if (gp < 0) gp = 0;
  if (gp > 1.2) gp = 1.2;
  return gp;
}

void codebook_target(const double* x, const double* y1, double gp, double* x2) {
  for (int n = 0; n < 40; ++n) x2[n] = x[n] - gp * y1[n];
}

void gain_correlations(const double* x, const double* y1, const double* y2, double* g) {
  const double yy = dot_product(0.01, y2, y2);
  const double xy = dot_product(0.01, x, y2);
  const double y12 = dot_product(0.01, y1, y2);
  g[2] = yy;
  g[3] = -2 * xy;
  g[4] = 2 * y12;
}

void build_excitation(double* exc, double gp, double gc, const double* cw) {
  weighted_sum(gp, exc, gc, cw, exc);
}

void update_target_memory(const double* x, const double* y1, const double* y2, double gp, double gc,
                          std::array<double, 10>& memory) {
  for (int j = 0; j < 10; ++j) {
    memory[j] = flush_small(x[30 + j] - gp * y1[30 + j] - gc * y2[30 + j]);
  }
}

}  // namespace g729a
