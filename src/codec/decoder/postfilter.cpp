#include "codec/decoder/postfilter.h"

#include <cmath>

#include "codec/common/lanes.h"
#include "codec/common/lp_filter.h"
#include "codec/common/numeric.h"
#include "codec/common/simd.h"

namespace g729a {
namespace {

constexpr int kPitchHalfWidth = 3;
constexpr int kPostfilterMaxDelay = 143;
constexpr double kEnergyOffset = 0.5;
constexpr double kCurrentWeight = 0.6666666666666666;
constexpr double kDelayedWeight = 0.3333333333333333;
constexpr int kImpulseLength = 22;
constexpr double kTiltScale = 0.8;
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

  // Eight lags ending at t_max (whole vectors; the extra one is shorter and
  // reads nothing older than t_max does): corr[1 + d - t_min] is delay d.
  double corr[2 * kPitchHalfWidth + 2];
  lagged_sums(r, r - (t_min - 1), 1, 40, 2 * kPitchHalfWidth + 2, corr);
  double best_corr = -1e38;
  int best = t_min;
  for (int d = t_min; d <= t_max; ++d) {
    if (corr[1 + d - t_min] > best_corr) {
      best_corr = corr[1 + d - t_min];
      best = d;
    }
  }

  double E_d;
  double E_0;
  two_energies(r - best, r, kEnergyOffset, &E_d, &E_0);
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

namespace {

// in: h[0..21], the An/Ad impulse response.
double tilt_from_response(const double* h) {
  double rh0 = 0.0;
  for (int n = 0; n < kImpulseLength; ++n) rh0 += h[n] * h[n];
  double rh1 = 0.0;
  for (int n = 1; n < kImpulseLength; ++n) rh1 += h[n - 1] * h[n];
  if (rh1 <= 0.0) return 0.0;
  return rh1 * kTiltScale / rh0;
}

// Ten leading zeros stand for the filter's empty memory. A subframe's worth
// of response fits, so the response can run beside a subframe's synthesis;
// only its first kImpulseLength samples are used.
using ResponseBuffer = std::array<double, 10 + kSubframeLength>;

void start_response(const LpVector& An, ResponseBuffer& buf) {
  buf.fill(0.0);
  for (int i = 0; i < 11; ++i) buf[10 + i] = An[i];
}

}  // namespace

double tilt_factor(const LpVector& An, const LpVector& Ad) {
  ResponseBuffer buf;
  start_response(An, buf);
  double* h = buf.data() + 10;
  lp_synthesis(Ad, h, h, kImpulseLength);
  return tilt_from_response(h);
}

void postfilter_filters(const std::array<LpVector, 2>& A, const SynthesisRun* beside,
                        std::array<PostfilterFilters, 2>& f) {
  std::array<ResponseBuffer, 2> buf;
  for (int s = 0; s < 2; ++s) {
    bandwidth_expand(A[s], kNumeratorPowers, f[s].An);
    bandwidth_expand(A[s], kDenominatorPowers, f[s].Ad);
    start_response(f[s].An, buf[s]);
  }
  // The impulse responses are independent of each other and of `beside`:
  // one per lane.
  double* h0 = buf[0].data() + 10;
  double* h1 = buf[1].data() + 10;
  if (beside != nullptr) {
    const SynthesisRun runs[3] = {*beside, {&f[0].Ad, h0, h0}, {&f[1].Ad, h1, h1}};
    lp_synthesis_runs(runs, kSubframeLength);
  } else {
    lp_synthesis_pair(f[0].Ad, h0, h0, f[1].Ad, h1, h1, kImpulseLength);
  }
  f[0].tilt = tilt_from_response(h0);
  f[1].tilt = tilt_from_response(h1);
}

namespace {

// Each output reads inputs only, so whole vectors of them form at once.
[[gnu::always_inline]] inline void tilt_steps(double k, const double* __restrict p, double memory,
                                              double* __restrict out) {
  out[0] = p[0] - k * memory;
  for (int n = 1; n < 40; ++n) out[n] = p[n] - k * p[n - 1];
}

void tilt_plain(double k, const double* p, double memory, double* out) {
  tilt_steps(k, p, memory, out);
}

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void tilt_avx2(double k, const double* p, double memory, double* out) {
  tilt_steps(k, p, memory, out);
}
#endif

}  // namespace

void tilt_compensation(double k, const double* p, double& memory, double* out) {
  const double previous = memory;
  memory = p[39];
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return tilt_avx2(k, p, previous, out);
#endif
  tilt_plain(k, p, previous, out);
}

namespace {

// The running gain is a chain of its own; the products then form whole
// vectors at once.
[[gnu::always_inline]] inline void agc_steps(const double* y, double g0, double& gain,
                                             double* out) {
  double gains[40];
  double g = gain;
#pragma GCC unroll 4
  for (int n = 0; n < 40; ++n) {
    g = agc_step(g, g0);
    gains[n] = g;
  }
  gain = g;
  for (int n = 0; n < 40; ++n) out[n] = y[n] * gains[n];
}

void agc_plain(const double* y, double g0, double& gain, double* out) {
  agc_steps(y, g0, gain, out);
}

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void agc_avx2(const double* y, double g0, double& gain, double* out) {
  agc_steps(y, g0, gain, out);
}
#endif

}  // namespace

GainControl gain_control_start(const double* x, const double* y, double& gain) {
  double G_out;
  double G_in;
  two_energies(y, x, 0.0, &G_out, &G_in);
  if (G_out == 0.0) {
    gain = 0.0;
    return {0.0, true};
  }
  return {G_in == 0.0 ? 0.0 : std::sqrt(G_in / G_out) * kAgcRise, false};
}

namespace {

void apply_gain_control(const GainControl& control, const double* y, double& gain, double* out) {
  if (control.unscaled) {
    for (int n = 0; n < 40; ++n) out[n] = y[n];
    return;
  }
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return agc_avx2(y, control.g0, gain, out);
#endif
  agc_plain(y, control.g0, gain, out);
}

}  // namespace

void adaptive_gain_control(const double* x, const double* y, double& gain, double* out) {
  apply_gain_control(gain_control_start(x, y, gain), y, gain, out);
}

void postfilter_front(DecoderState& state, const PostfilterFilters& f, FrameKind kind, int T, int s,
                      PostfilterStage& stage) {
  stage.Ad = f.Ad;
  const double* x = state.synthesis_buffer.data() + kSynthesisHistory + 40 * s;
  double* r = state.residual_buffer.data() + kResidualHistory;
  lp_residual(f.An, x, r, 40);

  if (kind == FrameKind::Speech) {
    Subframe pitched;
    pitch_postfilter(r, T, pitched);
    tilt_compensation(f.tilt, pitched.data(), state.tilt_memory, stage.p.data());
  } else {
    tilt_compensation(f.tilt, r, state.tilt_memory, stage.p.data());
  }

  for (int i = 0; i < 10; ++i) stage.y[i] = state.postfilter_memory[i];
}

void postfilter_back(DecoderState& state, PostfilterStage& stage, int s,
                     std::span<double, 80> out) {
  const GainControl control = postfilter_back_uncontrolled(state, stage, s);
  apply_gain_control(control, stage.y.data() + 10, state.agc_gain, out.data() + 40 * s);
}

GainControl postfilter_back_uncontrolled(DecoderState& state, PostfilterStage& stage, int s) {
  const double* y = stage.y.data();
  for (int i = 0; i < 10; ++i) state.postfilter_memory[i] = y[40 + i];
  flush_memory(state.postfilter_memory);

  const double* x = state.synthesis_buffer.data() + kSynthesisHistory + 40 * s;
  const GainControl control = gain_control_start(x, y + 10, state.agc_gain);

  for (int i = 0; i < kResidualHistory; ++i)
    state.residual_buffer[i] = state.residual_buffer[i + 40];
  return control;
}

void postfilter_subframe(DecoderState& state, const LpVector& A, FrameKind kind, int T, int s,
                         std::span<double, 80> out) {
  PostfilterFilters f;
  bandwidth_expand(A, kNumeratorPowers, f.An);
  bandwidth_expand(A, kDenominatorPowers, f.Ad);
  f.tilt = tilt_factor(f.An, f.Ad);
  PostfilterStage stage;
  postfilter_front(state, f, kind, T, s, stage);
  lp_synthesis(stage.Ad, stage.p.data(), stage.y.data() + 10, 40);
  postfilter_back(state, stage, s, out);
}

}  // namespace g729a
