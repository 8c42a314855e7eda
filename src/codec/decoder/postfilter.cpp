#include "codec/decoder/postfilter.h"

#include <cmath>
#include <cstring>

#include "codec/common/lp_filter.h"
#include "codec/common/numeric.h"
#include "codec/decoder/postfilter_parts.h"
#include "codec/simd/lanes.h"
#include "codec/simd/lp_synthesis_steps.h"
#include "codec/simd/simd.h"

namespace g729a {

void pitch_postfilter(const double* r, int T, Subframe& p) {
  int t_min;
  int t_max;
  pitch_delays(T, t_min, t_max);
  // Eight lags ending at t_max (whole vectors; the extra one is shorter and
  // reads nothing older than t_max does): corr[1 + d - t_min] is delay d.
  double corr[2 * kPitchHalfWidth + 2];
  lagged_sums(r, r - (t_min - 1), 1, 40, 2 * kPitchHalfWidth + 2, corr);
  double best_corr;
  const int best = best_pitch_delay(corr, t_min, t_max, &best_corr);
  double E_d;
  double E_0;
  two_energies(r - best, r, kEnergyOffset, &E_d, &E_0);
  pitch_postfilter_apply(r, best, best_corr, E_d, E_0, p);
}

double tilt_factor(const LpVector& An, const LpVector& Ad) {
  ResponseBuffer buf;
  start_response(An, buf);
  double* h = buf.data() + 10;
  lp_synthesis(Ad, h, h, kImpulseLength);
  return tilt_from_response(h);
}

void postfilter_filters(const std::array<LpVector, 2>& A, const SynthesisRun* interleaved,
                        std::array<PostfilterFilters, 2>& f) {
  std::array<ResponseBuffer, 2> buf;
  filters_prepare(A, f, buf);
  // The impulse responses are independent of each other and of `interleaved`:
  // one per lane.
  double* h0 = buf[0].data() + 10;
  double* h1 = buf[1].data() + 10;
  if (interleaved != nullptr) {
    const SynthesisRun runs[3] = {*interleaved, {&f[0].Ad, h0, h0}, {&f[1].Ad, h1, h1}};
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

void tilt_compensation(double k, SubframeIn p, double& memory, SubframeOut out) {
  const double previous = memory;
  memory = p[39];
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return tilt_avx2(k, p.data(), previous, out.data());
#endif
  tilt_plain(k, p.data(), previous, out.data());
}

GainEnergies gain_energies(SubframeIn x, SubframeIn y) {
  GainEnergies e;
  two_energies(y.data(), x.data(), 0.0, &e.out, &e.in);
  return e;
}

GainControl gain_control_from(const GainEnergies& e, double& gain) {
  if (e.out == 0.0) {
    gain = 0.0;
    return {0.0, true};
  }
  return {e.in == 0.0 ? 0.0 : std::sqrt(e.in / e.out) * kAgcRise, false};
}

GainControl gain_control_start(SubframeIn x, SubframeIn y, double& gain) {
  return gain_control_from(gain_energies(x, y), gain);
}

void postfilter_front(DecoderState& state, const PostfilterFilters& f, FrameKind kind, int T, int s,
                      PostfilterStage& stage) {
  stage.Ad = f.Ad;
  const double* x = state.synthesis_buffer.data() + kSynthesisHistory + 40 * s;
  double* r = state.residual_buffer.data() + kResidualHistory + 40 * s;
  lp_residual(f.An, x, r, 40);

  if (kind == FrameKind::Speech) {
    Subframe pitched;
    pitch_postfilter(r, T, pitched);
    tilt_compensation(f.tilt, pitched, state.tilt_memory, stage.p);
  } else {
    tilt_compensation(f.tilt, SubframeIn(r, 40), state.tilt_memory, stage.p);
  }
}

void postfilter_continue(const DecoderState& state, PostfilterStage& stage) {
  for (int i = 0; i < 10; ++i) stage.y[i] = state.postfilter_memory[i];
}

void postfilter_keep_memory(const PostfilterStage& stage, DecoderState& state) {
  for (int i = 0; i < 10; ++i) state.postfilter_memory[i] = stage.y[40 + i];
  flush_memory(state.postfilter_memory);
}

}  // namespace g729a
