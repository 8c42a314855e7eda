// The post-filter's constants and the parts of its steps that the frame's
// schedule (schedule.cpp) runs interleaved with other stages; inline, so that
// both files build them into their loops alike.
#pragma once

#include <array>

#include "codec/common/lp.h"
#include "codec/decoder/postfilter.h"
#include "codec/simd/lanes.h"

namespace g729a {

inline constexpr int kPitchHalfWidth = 3;
inline constexpr int kPostfilterMaxDelay = 143;
inline constexpr double kEnergyOffset = 0.5;
inline constexpr double kCurrentWeight = 0.6666666666666666;
inline constexpr double kDelayedWeight = 0.3333333333333333;
inline constexpr int kImpulseLength = 22;
inline constexpr double kTiltScale = 0.8;
inline constexpr double kAgcRise = 0.09999999999999998;

// The delays searched around T: t_min..t_max, seven of them.
inline void pitch_delays(int T, int& t_min, int& t_max) {
  t_min = T - kPitchHalfWidth;
  t_max = T + kPitchHalfWidth;
  if (t_max > kPostfilterMaxDelay) {
    t_max = kPostfilterMaxDelay;
    t_min = kPostfilterMaxDelay - 2 * kPitchHalfWidth;
  }
}

// The first strict maximum of corr[1 + d - t_min] over d = t_min..t_max.
// out: *best_corr; returns its delay.
inline int best_pitch_delay(const double* corr, int t_min, int t_max, double* best_corr) {
  double best_value = -1e38;
  int best = t_min;
  for (int d = t_min; d <= t_max; ++d) {
    if (corr[1 + d - t_min] > best_value) {
      best_value = corr[1 + d - t_min];
      best = d;
    }
  }
  *best_corr = best_value;
  return best;
}

// The filter itself, from the chosen delay, its correlation and the
// energies E_d (of the delayed residual) and E_0. in: r, best, best_corr,
// E_d, E_0; out: p.
inline void pitch_postfilter_apply(const double* r, int best, double best_corr, double E_d,
                                   double E_0, Subframe& p) {
  const double cmax = best_corr > 0.0 ? best_corr : 0.0;

  if (cmax * cmax < E_0 * E_d * 0.5) {
    // Prediction gain below 3 dB: leave the residual alone.
    for (int n = 0; n < 40; ++n) p[n] = r[n];
  } else if (E_d < cmax) {
    weighted_sum(kCurrentWeight, r, kDelayedWeight, r - best, p.data());
  } else {
    const double g = 1.0 / (E_d + 0.5 * cmax) * (0.5 * cmax);
    weighted_sum(1.0 - g, r, g, r - best, p.data());
  }
}

// in: h[0..21], the An/Ad impulse response.
inline double tilt_from_response(const double* h) {
  double rh0 = 0.0;
  for (int n = 0; n < kImpulseLength; ++n) rh0 += h[n] * h[n];
  double rh1 = 0.0;
  for (int n = 1; n < kImpulseLength; ++n) rh1 += h[n - 1] * h[n];
  if (rh1 <= 0.0) return 0.0;
  return rh1 * kTiltScale / rh0;
}

// Ten leading zeros stand for the filter's empty memory. A subframe's worth
// of response fits, so the response can run interleaved with a subframe's synthesis;
// only its first kImpulseLength samples are used.
using ResponseBuffer = std::array<double, 10 + kSubframeLength>;

inline void start_response(const LpVector& An, ResponseBuffer& buf) {
  buf.fill(0.0);
  for (int i = 0; i < 11; ++i) buf[10 + i] = An[i];
}

// Both subframes' weighted filters, and their tilt responses' starts.
// in: A; out: f (but the tilts), buf.
inline void filters_prepare(const std::array<LpVector, 2>& A, std::array<PostfilterFilters, 2>& f,
                            std::array<ResponseBuffer, 2>& buf) {
  for (int s = 0; s < 2; ++s) {
    bandwidth_expand(A[s], kPostfilterNumeratorPowers, f[s].An);
    bandwidth_expand(A[s], kPostfilterDenominatorPowers, f[s].Ad);
    start_response(f[s].An, buf[s]);
  }
}

}  // namespace g729a
