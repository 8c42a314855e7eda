// The encoder's frame in the order of its steps: input filter, LP analysis,
// LSP quantization, interpolation and weighting, residual and weighted
// speech, open-loop pitch, then each subframe's searches and updates.
#include <algorithm>
#include <array>
#include <span>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/frame_format.h"
#include "codec/common/lp.h"
#include "codec/common/lp_filter.h"
#include "codec/encoder/algebraic_codebook.h"
#include "codec/encoder/closed_loop_pitch.h"
#include "codec/encoder/gain_quantizer.h"
#include "codec/encoder/lp_analysis.h"
#include "codec/encoder/lsp_quantizer.h"
#include "codec/encoder/open_loop_pitch.h"
#include "codec/encoder/subframe.h"
#include "codec/encoder/taming.h"
#include "codec/reference/encoder_stages.h"
#include "codec/reference/reference.h"

namespace g729a {
namespace {

struct SubframeCode {
  int t0;
  int fraction;
  std::int32_t position_index;
  std::int32_t sign_index;
  std::int32_t gain_index;
};

// One subframe, from its impulse response to the memory updates.
// in: ap (weighted filter), range, subframe_offset; inout: state, exc (the
// subframe inside excitation_buffer: LP residual in, excitation out);
// out: code.
void encode_subframe(const LpVector& ap, const PitchRange& range, int subframe_offset,
                     EncoderState& state, double* exc, SubframeCode& code) {
  // 1. Impulse response of 1/A'(z), and the target from the residual.
  std::array<double, kSubframeLength> h;
  impulse_response(ap, h.data());
  std::array<double, kSubframeLength> x;
  weighted_synthesis(exc, ap, state.target_filter_memory, x.data());
  // 2. Closed-loop pitch search; exc becomes the adaptive vector.
  code.t0 = closed_loop_pitch_search(exc, x.data(), h.data(), range.delay_min, range.delay_max,
                                     subframe_offset, &code.fraction);
  // The filtered adaptive vector and its gain, bounded, then tamed.
  std::array<double, kSubframeLength> y1;
  weighted_synthesis(exc, ap, state.zero_filter_memory, y1.data());
  std::array<double, 5> g;
  double gp = adaptive_gain(x.data(), y1.data(), &g[0], &g[1]);
  const int taming = taming_test(state.taming_error, code.t0, code.fraction);
  if (taming == 1 && gp > kTamedGainLimit) gp = kTamedGainLimit;
  // 3. Algebraic codebook search on the codebook target.
  std::array<double, kSubframeLength> x2;
  codebook_target(x.data(), y1.data(), gp, x2.data());
  std::array<double, kSubframeLength> cw;
  std::array<double, kSubframeLength> y2;
  algebraic_codebook_search(x2.data(), h.data(), code.t0, state.pitch_sharpening, cw.data(),
                            y2.data(), &code.position_index, &code.sign_index);
  // 4. Gain quantization.
  gain_correlations(x.data(), y1.data(), y2.data(), g.data());
  double gp_q = 0.0;
  double gc_q = 0.0;
  code.gain_index = gain_quantize(state.gain_predictor_memory, cw.data(), code.t0, g.data(), taming,
                                  &gp_q, &gc_q);
  // 5. Pitch sharpening for the next subframe.
  state.pitch_sharpening = bound_pitch_sharpening(gp_q);
  // 6. Excitation, taming update, target memory.
  build_excitation(exc, gp_q, gc_q, cw.data());
  taming_update(state.taming_error, gp_q, code.t0);
  update_target_memory(x.data(), y1.data(), y2.data(), gp_q, gc_q, state.target_filter_memory);
}

}  // namespace

std::size_t reference_encode(EncoderState& state, std::span<const std::int16_t, kFrameLength> pcm,
                             std::span<std::uint8_t, kSpeechFrameBytes> frame) {
  // The new samples through the input high-pass filter.
  for (int i = 0; i < kFrameLength; ++i) {
    state.speech_buffer[kSpeechNew + i] = static_cast<double>(pcm[i]);
  }
  encoder_preprocess(state.preprocess_memory,
                     std::span<double>(state.speech_buffer.data() + kSpeechNew, kFrameLength));

  FrameParameters out;
  out.slots.fill(0);
  // 1. LP analysis of the whole window.
  std::array<double, 10> lsp_new;
  lp_analysis(state.speech_buffer, state.lsp_previous, lsp_new);
  // 2. Every frame is a speech frame.
  out.kind = FrameKind::Speech;
  // 3. LSP quantization.
  std::array<double, 10> lsp_new_q;
  lsp_quantize(lsp_new, state.lsf_ma_memory, lsp_new_q, &out.slots[kSlotL0L1],
               &out.slots[kSlotL2L3]);
  // 4. Interpolation and weighting.
  std::array<LpVector, 2> aq;
  std::array<LpVector, 2> ap;
  lsp_interpolate(state.lsp_previous_quantized, lsp_new_q, aq);
  for (int s = 0; s < 2; ++s) weight_filter(aq[s], ap[s]);
  // 5. The new LSPs become the previous ones.
  state.lsp_previous = lsp_new;
  state.lsp_previous_quantized = lsp_new_q;
  // 6. LP residual into the excitation buffer, and the weighted speech.
  const double* speech = state.speech_buffer.data() + kSpeechFrame;
  double* exc = state.excitation_buffer.data() + kExcitationFrame;
  double* wsp = state.weighted_speech_buffer.data() + kWeightedSpeechFrame;
  for (int s = 0; s < 2; ++s) {
    lp_residual(aq[s], speech + kSubframeLength * s, exc + kSubframeLength * s, kSubframeLength);
  }
  for (int s = 0; s < 2; ++s) {
    weighted_speech(exc + kSubframeLength * s, ap[s], state.weighted_speech_filter_memory,
                    wsp + kSubframeLength * s);
  }
  // 7. Open-loop pitch delay and the first subframe's search range.
  const int t_op = open_loop_pitch(wsp);
  // 8. Each subframe.
  std::array<SubframeCode, 2> code;
  const PitchRange first_range = first_subframe_pitch_range(t_op);
  encode_subframe(ap[0], first_range, 0, state, exc, code[0]);
  const PitchRange second_range = second_subframe_pitch_range(code[0].t0);
  encode_subframe(ap[1], second_range, kSubframeLength, state, exc + kSubframeLength, code[1]);

  const std::int32_t p1 = encode_pitch_p1(code[0].t0, code[0].fraction);
  out.slots[kSlotP1] = p1;
  out.slots[kSlotP0] = pitch_parity(p1);
  out.slots[kSlotC1] = code[0].position_index;
  out.slots[kSlotS1] = code[0].sign_index;
  out.slots[kSlotGain1] = code[0].gain_index;
  out.slots[kSlotP2] = encode_pitch_p2(code[1].t0, code[1].fraction, second_range.delay_min);
  out.slots[kSlotC2] = code[1].position_index;
  out.slots[kSlotS2] = code[1].sign_index;
  out.slots[kSlotGain2] = code[1].gain_index;

  // 9. The histories move on by one frame.
  std::copy(state.speech_buffer.begin() + kFrameLength, state.speech_buffer.end(),
            state.speech_buffer.begin());
  std::copy(state.weighted_speech_buffer.begin() + kFrameLength, state.weighted_speech_buffer.end(),
            state.weighted_speech_buffer.begin());
  std::copy(state.excitation_buffer.begin() + kFrameLength, state.excitation_buffer.end(),
            state.excitation_buffer.begin());

  pack_speech_frame(out, frame);
  return kSpeechFrameBytes;
}

}  // namespace g729a
