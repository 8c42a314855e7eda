#include "codec/decoder/postfilter.h"

#include <cmath>

#include "codec/common/lp_filter.h"
#include "codec/common/numeric.h"

namespace g729a {
namespace {

constexpr int kPitchHalfWidth = 3;
constexpr int kPostfilterMaxDelay = 143;
constexpr double kEnergyOffset = 0.5;
constexpr double kCurrentWeight = 0.6666666666666666;
constexpr double kDelayedWeight = 0.3333333333333333;
constexpr int kImpulseLength = 22;
constexpr double kTiltScale = 0.8;
constexpr double kAgcDecay = 0.9;
constexpr double kAgcRise = 0.09999999999999998;

constexpr std::array<double, 11> kNumeratorPowers = bandwidth_powers(0.55);
constexpr std::array<double, 11> kDenominatorPowers = bandwidth_powers(0.70);

}  // namespace

void pitch_postfilter(const double* r, int T, Subframe& p) {
  int t_min = T - kPitchHalfWidth;
  int t_max = T + kPitchHalfWidth;
  if (t_max > kPostfilterMaxDelay) {
    t_max = kPostfilterMaxDelay;
    t_min = kPostfilterMaxDelay - 2 * kPitchHalfWidth;
  }

  double best_corr = -1e38;
  int best = t_min;
  for (int d = t_min; d <= t_max; ++d) {
    double corr = 0.0;
    for (int n = 0; n < 40; ++n) corr += r[n] * r[n - d];
    if (corr > best_corr) {
      best_corr = corr;
      best = d;
    }
  }

  double E_d = kEnergyOffset;
  for (int n = 0; n < 40; ++n) E_d += r[n - best] * r[n - best];
  double E_0 = kEnergyOffset;
  for (int n = 0; n < 40; ++n) E_0 += r[n] * r[n];
  const double cmax = best_corr > 0.0 ? best_corr : 0.0;

  if (cmax * cmax < E_0 * E_d * 0.5) {
    // Prediction gain below 3 dB: leave the residual alone.
    for (int n = 0; n < 40; ++n) p[n] = r[n];
  } else if (E_d < cmax) {
    for (int n = 0; n < 40; ++n) p[n] = kCurrentWeight * r[n] + kDelayedWeight * r[n - best];
  } else {
    const double g = 1.0 / (E_d + 0.5 * cmax) * (0.5 * cmax);
    for (int n = 0; n < 40; ++n) p[n] = (1.0 - g) * r[n] + g * r[n - best];
  }
}

double tilt_factor(const LpVector& An, const LpVector& Ad) {
  // Ten leading zeros stand for the filter's empty memory.
  std::array<double, 10 + kImpulseLength> buf{};
  double* h = buf.data() + 10;
  for (int i = 0; i < 11; ++i) h[i] = An[i];
  lp_synthesis(Ad, h, h, kImpulseLength);

  double rh0 = 0.0;
  for (int n = 0; n < kImpulseLength; ++n) rh0 += h[n] * h[n];
  double rh1 = 0.0;
  for (int n = 1; n < kImpulseLength; ++n) rh1 += h[n - 1] * h[n];
  if (rh1 <= 0.0) return 0.0;
  return rh1 * kTiltScale / rh0;
}

void tilt_compensation(double k, Subframe& p, double& memory) {
  const double last = p[39];
  for (int n = 39; n >= 1; --n) p[n] = p[n] - k * p[n - 1];
  p[0] = p[0] - k * memory;
  memory = last;
}

void adaptive_gain_control(const double* x, Subframe& y, double& gain) {
  double G_out = 0.0;
  for (double v : y) G_out += v * v;
  if (G_out == 0.0) {
    gain = 0.0;
    return;
  }
  double G_in = 0.0;
  for (int n = 0; n < 40; ++n) G_in += x[n] * x[n];
  const double g0 = G_in == 0.0 ? 0.0 : std::sqrt(G_in / G_out) * kAgcRise;
  for (double& v : y) {
    gain = gain * kAgcDecay + g0;
    v = v * gain;
  }
}

void postfilter_subframe(DecoderState& state, const LpVector& A, FrameKind kind, int T, int s,
                         std::span<double, 80> out) {
  LpVector An;
  LpVector Ad;
  bandwidth_expand(A, kNumeratorPowers, An);
  bandwidth_expand(A, kDenominatorPowers, Ad);

  const double* x = state.synthesis_buffer.data() + kSynthesisHistory + 40 * s;
  double* r = state.residual_buffer.data() + kResidualHistory;
  lp_residual(An, x, r, 40);

  Subframe p;
  if (kind == FrameKind::Speech) {
    pitch_postfilter(r, T, p);
  } else {
    for (int n = 0; n < 40; ++n) p[n] = r[n];
  }

  tilt_compensation(tilt_factor(An, Ad), p, state.tilt_memory);

  Subframe result;
  synthesize_subframe(Ad, p.data(), state.postfilter_memory, result.data(),
                      &state.postfilter_memory);
  flush_memory(state.postfilter_memory);
  adaptive_gain_control(x, result, state.agc_gain);
  for (int n = 0; n < 40; ++n) out[40 * s + n] = result[n];

  for (int i = 0; i < kResidualHistory; ++i)
    state.residual_buffer[i] = state.residual_buffer[i + 40];
}

}  // namespace g729a
