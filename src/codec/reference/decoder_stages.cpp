#include "codec/reference/decoder_stages.h"

#include "codec/common/biquad.h"
#include "codec/common/lp_filter.h"
#include "codec/common/tables.h"
#include "codec/decoder/output_stage.h"
#include "codec/decoder/postfilter.h"

namespace g729a {

void postfilter_subframe(DecoderState& state, const LpVector& A, FrameKind kind, int T, int s,
                         std::span<double, 80> out) {
  // Weighted filters and the tilt factor of their impulse response.
  PostfilterFilters f;
  bandwidth_expand(A, kPostfilterNumeratorPowers, f.An);
  bandwidth_expand(A, kPostfilterDenominatorPowers, f.Ad);
  f.tilt = tilt_factor(f.An, f.Ad);
  // Residual, pitch post-filter and tilt compensation.
  PostfilterStage stage;
  postfilter_front(state, f, kind, T, s, stage);
  // Short-term synthesis from the filter's memory, which keeps its last ten
  // outputs.
  postfilter_continue(state, stage);
  lp_synthesis(stage.Ad, stage.p.data(), stage.y.data() + 10, 40);
  postfilter_keep_memory(stage, state);
  // Adaptive gain control against the subframe's synthesized speech.
  const double* x = state.synthesis_buffer.data() + kSynthesisHistory + 40 * s;
  adaptive_gain_control(SubframeIn(x, 40), SubframeIn(stage.y.data() + 10, 40), state.agc_gain,
                        SubframeOut(out.data() + 40 * s, 40));
}

void adaptive_gain_control(SubframeIn x, SubframeIn y, double& gain, SubframeOut out) {
  const GainControl control = gain_control_start(x, y, gain);
  if (control.unscaled) {
    for (int n = 0; n < 40; ++n) out[n] = y[n];
    return;
  }
  for (int n = 0; n < 40; ++n) {
    gain = agc_step(gain, control.g0);
    out[n] = y[n] * gain;
  }
}

void output_stage(std::span<const double, 80> v, std::array<double, 4>& memory,
                  std::span<std::int16_t, 80> pcm) {
  for (int n = 0; n < kFrameLength; ++n) {
    pcm[n] = to_pcm_sample(biquad_step(output_filter_b, output_filter_a, memory, v[n]));
  }
}

}  // namespace g729a
