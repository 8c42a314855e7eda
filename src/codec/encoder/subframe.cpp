#include "codec/encoder/subframe.h"

#include "codec/common/lp_filter.h"
#include "codec/common/numeric.h"

namespace g729a {

void weighted_synthesis(const double* u, const LpVector& ap, const std::array<double, 10>& memory,
                        double* y) {
  synthesize_subframe(ap, u, memory, y, nullptr);
}

void impulse_response(const LpVector& ap, double* h) {
  std::array<double, 40> impulse{};
  impulse[0] = 1.0;
  const std::array<double, 10> zero{};
  weighted_synthesis(impulse.data(), ap, zero, h);
}

void backward_filter(const double* x, const double* h, double* d) {
  for (int n = 0; n < 40; ++n) {
    double s = 0.0;
    for (int k = n; k < 40; ++k) s += x[k] * h[k - n];
    d[n] = s;
  }
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
  double yy = 0.01;
  for (int n = 0; n < 40; ++n) yy += y2[n] * y2[n];
  double xy = 0.01;
  for (int n = 0; n < 40; ++n) xy += x[n] * y2[n];
  double y12 = 0.01;
  for (int n = 0; n < 40; ++n) y12 += y1[n] * y2[n];
  g[2] = yy;
  g[3] = -2 * xy;
  g[4] = 2 * y12;
}

void build_excitation(double* exc, double gp, double gc, const double* cw) {
  for (int n = 0; n < 40; ++n) exc[n] = gp * exc[n] + gc * cw[n];
}

void update_target_memory(const double* x, const double* y1, const double* y2, double gp, double gc,
                          std::array<double, 10>& memory) {
  for (int j = 0; j < 10; ++j) {
    memory[j] = flush_small(x[30 + j] - gp * y1[30 + j] - gc * y2[30 + j]);
  }
}

}  // namespace g729a
