#include "codec/common/adaptive_codebook.h"
#include "codec/common/lsf.h"
#include "codec/encoder/dtx.h"
#include "codec/encoder/frame_trace.h"
#include "codec/encoder/lp_analysis.h"
#include "codec/encoder/vad.h"
#include "g729a/codec.h"

namespace g729a {

void encoder_init(EncoderState& state, EncoderOptions options) {
  state.speech_buffer.fill(0.0);
  state.weighted_speech_buffer.fill(0.0);
  state.excitation_buffer.fill(0.0);
  state.lsp_previous = lsp_initial;
  state.lsp_previous_quantized = lsp_initial;
  state.target_filter_memory.fill(0.0);
  state.weighted_speech_filter_memory.fill(0.0);
  state.zero_filter_memory.fill(0.0);
  state.pitch_sharpening = kSharpeningMin;
  lsf_ma_memory_init(state.lsf_ma_memory);
  state.taming_error.fill(1.0);
  state.gain_predictor_memory.fill(-14.0);
  state.preprocess_memory.fill(0.0);
  state.dtx = options.dtx;
  vad_init(state.vad);
  dtx_init(state.dtx_state);
}

void encoder_set_dtx(EncoderState& state, bool dtx) {
  // Frames coded without DTX are all speech: a decoder is where it is
  // after speech.
  if (dtx && !state.dtx) dtx_after_speech(state.dtx_state);
  state.dtx = dtx;
}

namespace {

// The new samples in, filtered, and the window's autocorrelation. in: pcm;
// inout: state; out: r.
void take_frame(EncoderState& state, std::span<const std::int16_t, kFrameLength> pcm,
                std::span<double, 11> r) {
  static_assert(kSpeechWindow == 0 && kSpeechNew + kFrameLength == kAnalysisWindow);
  for (int i = 0; i < kFrameLength; ++i) {
    state.speech_buffer[kSpeechNew + i] = static_cast<double>(pcm[i]);
  }
  // The input filter and the analysis window's autocorrelation run side by
  // side: all but the newest terms of the sums are known before the filter.
  filtered_window_autocorrelation(state.preprocess_memory, state.speech_buffer, r);
}

}  // namespace

void encoder_encode_traced(EncoderState& state, std::span<const std::int16_t, kFrameLength> pcm,
                           std::span<std::uint8_t, kSpeechFrameBytes> frame, FrameTrace* trace) {
  std::array<double, 11> r;
  take_frame(state, pcm, r);
  FrameParameters parameters;
  encode_frame(r, state, parameters, trace);
  pack_speech_frame(parameters, frame);
}

std::size_t encoder_encode(EncoderState& state, std::span<const std::int16_t, kFrameLength> pcm,
                           std::span<std::uint8_t, kSpeechFrameBytes> frame) {
  if (!state.dtx) {
    encoder_encode_traced(state, pcm, frame, nullptr);
    return kSpeechFrameBytes;
  }
  std::array<double, 11> r;
  take_frame(state, pcm, r);
  std::array<double, 10> lsp_new;
  lp_from_autocorrelation(r, state.lsp_previous, lsp_new);
  VadFeatures features;
  vad_features(r, lsp_new, state.speech_buffer.data() + kSpeechFrame, features);
  if (!vad_decide(features, state.vad)) return encode_inactive_frame(r, lsp_new, state, frame);
  FrameParameters parameters;
  encode_frame_analysed(lsp_new, &features.lsf, state, parameters, nullptr);
  pack_speech_frame(parameters, frame);
  dtx_after_speech(state.dtx_state);
  return kSpeechFrameBytes;
}

}  // namespace g729a
