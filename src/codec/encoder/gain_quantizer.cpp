#include "codec/encoder/gain_quantizer.h"

#include <limits>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/gain_prediction.h"
#include "codec/common/tables.h"
#include "codec/simd/lanes.h"

namespace g729a {

namespace {

constexpr double kTamedGainPreselect = 0.94;
// Rejected candidates under taming: the gain may not reach one.
constexpr double kTamedGainCeiling = 0.9999;
constexpr double kPreselectFactor = -0.032623;
// Pre-selection products with the tamed gain 0.94 folded in.
constexpr double kTamedStage1Term = 13.3124173339365;
constexpr double kTamedStage2Term = 29.3195565;

constexpr int kStage1Window = 4;
constexpr int kStage2Window = 8;

// in: value, thresholds[count], gc0; returns how many leading thresholds
// the value passes (above t*gc0, or below it when gc0 <= 0).
int window_start(double value, const double* thresholds, int count, double gc0) {
  int start = 0;
  if (gc0 > 0.0) {
    while (start < count && value > thresholds[start] * gc0) ++start;
  } else {
    while (start < count && value < thresholds[start] * gc0) ++start;
  }
  return start;
}

}  // namespace

std::int32_t gain_quantize(std::array<double, 4>& memory, const double* cw, int t0, const double* g,
                           int taming, double* gp, double* gc) {
  const double gc0 = predicted_code_gain(cw, t0, memory);

  const double g0 = g[0];
  const double g1 = g[1];
  const double g2 = g[2];
  const double g3 = g[3];
  const double g4 = g[4];
  // y1 and y2 proportional make the optimum undefined; a zero optimum still
  // leaves the search a valid window.
  const double den = 4.0 * g0 * g2 - g4 * g4;
  double gp_opt = 0.0;
  double gc_opt = 0.0;
  if (den != 0.0) {
    gp_opt = -(2.0 * g2 * g1 - g3 * g4) / den;
    gc_opt = -(2.0 * g0 * g3 - g1 * g4) / den;
  }

  const double c1 = gain_preselect_coef[0][0];  // 31.134575
  const double c2 = gain_preselect_coef[0][1];  // 1.612322
  const double c3 = gain_preselect_coef[1][0];  // 0.481389
  const double c4 = gain_preselect_coef[1][1];  // 0.053056
  double y;
  double x;
  if (taming == 1 && gp_opt > kTamedGainPreselect) {
    y = (kTamedStage1Term * gc0 - c1 * gc_opt) * kPreselectFactor;
    x = (gc_opt - kTamedStage2Term * gc0) * kPreselectFactor;
  } else {
    y = (c3 * (c1 * gp_opt - c2) * gc0 - c1 * gc_opt) * kPreselectFactor;
    x = (gc_opt - (c1 * gp_opt + c4) * gc0) * kPreselectFactor;
  }
  const int i1s = window_start(y, gain_threshold1, gain_threshold1_size, gc0);
  const int i2s = window_start(x, gain_threshold2, gain_threshold2_size, gc0);

  // Every candidate's error first, then the first minimum among them: a
  // candidate the taming rejects is +inf, which never replaces the best,
  // just as skipping it does.
  alignas(32) double err[kStage1Window * kStage2Window];
  for (int k1 = 0; k1 < kStage1Window; ++k1) {
    const int i1 = i1s + k1;
    for (int k2 = 0; k2 < kStage2Window; ++k2) {
      const int i2 = i2s + k2;
      const double p = gain_cb1[i1][0] + gain_cb2[i2][0];
      const double c = gc0 * (gain_cb1[i1][1] + gain_cb2[i2][1]);
      const double e = p * p * g0 + p * g1 + c * c * g2 + c * g3 + p * c * g4;
      const bool rejected = taming == 1 && p >= kTamedGainCeiling;
      err[k1 * kStage2Window + k2] = rejected ? std::numeric_limits<double>::infinity() : e;
    }
  }
  double best = 1e38;
  const int k = first_minimum(err, kStage1Window * kStage2Window, &best);
  const int best1 = k < 0 ? 0 : i1s + k / kStage2Window;
  const int best2 = k < 0 ? 0 : i2s + k % kStage2Window;

  const double gamma = gain_cb1[best1][1] + gain_cb2[best2][1];
  *gp = gain_cb1[best1][0] + gain_cb2[best2][0];
  *gc = gc0 * gamma;
  gain_predictor_update(memory, best1, best2);
  return gain_map1[best1] * 16 + gain_map2[best2];
}

}  // namespace g729a
