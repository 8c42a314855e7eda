// The frame driver: analysis, quantization and the two subframes of one
// 10 ms frame, in the fixed order the decoder mirrors.
#include <algorithm>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/frame_format.h"
#include "codec/common/lp.h"
#include "codec/common/lp_filter.h"
#include "codec/encoder/algebraic_codebook.h"
#include "codec/encoder/closed_loop_pitch.h"
#include "codec/encoder/frame_trace.h"
#include "codec/encoder/gain_quantizer.h"
#include "codec/encoder/lp_analysis.h"
#include "codec/encoder/lsp_quantizer.h"
#include "codec/encoder/open_loop_pitch.h"
#include "codec/encoder/subframe.h"
#include "codec/encoder/taming.h"

namespace g729a {

namespace {

struct SubframeParameters {
  std::int32_t position_index;
  std::int32_t sign_index;
  std::int32_t gain_index;
};

// One subframe from its target x to the memory update. in: ap, x,
// subframe_offset, range; inout: state, exc (LP residual in, excitation
// out), h (the impulse response, sharpened for the codebook search); out:
// result, params.
void encode_subframe(const LpVector& ap, const double* x, int subframe_offset,
                     const PitchRange& range, EncoderState& state, double* exc, double* h,
                     SubframeResult& result, SubframeParameters& params) {
  int fraction = 0;
  const int t0 = closed_loop_pitch_search(exc, x, h, range.delay_min, range.delay_max,
                                          subframe_offset, &fraction);

  // The codebook search's correlations depend only on the sharpened
  // response: they are built interleaved with the synthesis of y1.
  pitch_sharpen(t0, state.pitch_sharpening, h);
  alignas(32) ResponseCorrelations correlations;
  alignas(32) std::array<double, 40> y1;
  synthesis_and_correlations(ap, exc, h, state.zero_filter_memory, y1.data(), correlations);
  std::array<double, 5> g;
  double gp = adaptive_gain(x, y1.data(), &g[0], &g[1]);
  const int taming = taming_test(state.taming_error, t0, fraction);
  if (taming == 1 && gp > kTamedGainLimit) gp = kTamedGainLimit;

  alignas(32) std::array<double, 40> x2;
  codebook_target(x, y1.data(), gp, x2.data());
  alignas(32) std::array<double, 40> cw;
  alignas(32) std::array<double, 40> y2;
  algebraic_codebook_search(x2.data(), h, correlations, t0, state.pitch_sharpening, cw.data(),
                            y2.data(), &params.position_index, &params.sign_index);

  gain_correlations(x, y1.data(), y2.data(), g.data());
  double gp_q = 0.0;
  double gc_q = 0.0;
  params.gain_index =
      gain_quantize(state.gain_predictor_memory, cw.data(), t0, g.data(), taming, &gp_q, &gc_q);

  state.pitch_sharpening = bound_pitch_sharpening(gp_q);
  build_excitation(exc, gp_q, gc_q, cw.data());
  taming_update(state.taming_error, gp_q, t0);
  update_target_memory(x, y1.data(), y2.data(), gp_q, gc_q, state.target_filter_memory);

  result = SubframeResult{t0, fraction, gp, taming, gp_q, gc_q};
}

}  // namespace

void shift_frame_histories(EncoderState& state) {
  std::copy(state.speech_buffer.begin() + 80, state.speech_buffer.end(),
            state.speech_buffer.begin());
  std::copy(state.weighted_speech_buffer.begin() + 80, state.weighted_speech_buffer.end(),
            state.weighted_speech_buffer.begin());
  std::copy(state.excitation_buffer.begin() + 80, state.excitation_buffer.end(),
            state.excitation_buffer.begin());
}

void encode_frame(std::span<const double, 11> r, EncoderState& state, FrameParameters& out,
                  FrameTrace* trace) {
  std::array<double, 10> lsp_new;
  lp_from_autocorrelation(r, state.lsp_previous, lsp_new);
  encode_frame_analysed(lsp_new, nullptr, state, out, trace);
}

void encode_frame_analysed(std::span<const double, 10> lsp_new_in, const LsfVector* lsf,
                           EncoderState& state, FrameParameters& out, FrameTrace* trace) {
  out.kind = FrameKind::Speech;
  out.slots.fill(0);
  std::array<double, 10> lsp_new;
  for (int i = 0; i < 10; ++i) lsp_new[i] = lsp_new_in[i];

  std::array<double, 10> lsp_new_q;
  if (lsf != nullptr) {
    lsf_quantize(*lsf, state.lsf_ma_memory, lsp_new_q, &out.slots[kSlotL0L1],
                 &out.slots[kSlotL2L3]);
  } else {
    lsp_quantize(lsp_new, state.lsf_ma_memory, lsp_new_q, &out.slots[kSlotL0L1],
                 &out.slots[kSlotL2L3]);
  }

  std::array<LpVector, 2> aq;
  std::array<LpVector, 2> ap;
  lsp_interpolate(state.lsp_previous_quantized, lsp_new_q, aq);
  weight_filter(aq[0], ap[0]);
  weight_filter(aq[1], ap[1]);
  state.lsp_previous = lsp_new;
  state.lsp_previous_quantized = lsp_new_q;

  const double* speech = state.speech_buffer.data() + kSpeechFrame;
  double* exc = state.excitation_buffer.data() + kExcitationFrame;
  double* wsp = state.weighted_speech_buffer.data() + kWeightedSpeechFrame;
  for (int s = 0; s < 2; ++s) lp_residual(aq[s], speech + 40 * s, exc + 40 * s, 40);
  LpVector c0;
  weighted_speech_filter(ap[0], c0);
  alignas(32) std::array<std::array<double, 40>, 2> h;
  alignas(32) std::array<double, 40> x0;
  frame_start_syntheses(c0, ap, exc, state.target_filter_memory,
                        state.weighted_speech_filter_memory, wsp, h[0].data(), h[1].data(),
                        x0.data());
  // The open-loop correlations form interleaved with the second subframe's weighted
  // speech, each term as soon as its samples are known.
  alignas(32) std::array<double, kOpenLoopDelays> correlations;
  weighted_speech_and_correlations(exc + 40, ap[1], state.weighted_speech_filter_memory, wsp,
                                   correlations);
  const int t_op = open_loop_pitch(wsp, correlations);

  std::array<SubframeResult, 2> results;
  std::array<SubframeParameters, 2> params;
  const PitchRange first_range = first_subframe_pitch_range(t_op);
  encode_subframe(ap[0], x0.data(), 0, first_range, state, exc, h[0].data(), results[0], params[0]);
  const std::int32_t p1 = encode_pitch_p1(results[0].t0, results[0].fraction);

  const PitchRange second_range = second_subframe_pitch_range(results[0].t0);
  // The second target starts from the memory the first subframe left.
  alignas(32) std::array<double, 40> x1;
  weighted_synthesis(exc + 40, ap[1], state.target_filter_memory, x1.data());
  encode_subframe(ap[1], x1.data(), 40, second_range, state, exc + 40, h[1].data(), results[1],
                  params[1]);
  const std::int32_t p2 =
      encode_pitch_p2(results[1].t0, results[1].fraction, second_range.delay_min);

  out.slots[kSlotP1] = p1;
  out.slots[kSlotP0] = pitch_parity(p1);
  out.slots[kSlotC1] = params[0].position_index;
  out.slots[kSlotS1] = params[0].sign_index;
  out.slots[kSlotGain1] = params[0].gain_index;
  out.slots[kSlotP2] = p2;
  out.slots[kSlotC2] = params[1].position_index;
  out.slots[kSlotS2] = params[1].sign_index;
  out.slots[kSlotGain2] = params[1].gain_index;

  shift_frame_histories(state);

  if (trace != nullptr) {
    trace->parameters = out;
    trace->t_op = t_op;
    trace->lsp_new = lsp_new;
    trace->lsp_new_q = lsp_new_q;
    trace->subframes = results;
  }
}

}  // namespace g729a
