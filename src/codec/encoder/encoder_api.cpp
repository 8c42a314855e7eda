#include "codec/common/adaptive_codebook.h"
#include "codec/common/lsf.h"
#include "codec/encoder/frame_trace.h"
#include "codec/encoder/lp_analysis.h"
#include "g729a/codec.h"

namespace g729a {

void encoder_init(EncoderState& state) {
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
}

void encoder_encode_traced(EncoderState& state, std::span<const std::int16_t, kFrameLength> pcm,
                           std::span<std::uint8_t, kSpeechFrameBytes> frame, FrameTrace* trace) {
  static_assert(kSpeechWindow == 0 && kSpeechNew + kFrameLength == kAnalysisWindow);
  for (int i = 0; i < kFrameLength; ++i) {
    state.speech_buffer[kSpeechNew + i] = static_cast<double>(pcm[i]);
  }
  // The input filter and the analysis window's autocorrelation run side by
  // side: all but the newest terms of the sums are known before the filter.
  std::array<double, 11> r;
  filtered_window_autocorrelation(state.preprocess_memory, state.speech_buffer, r);
  FrameParameters parameters;
  encode_frame(r, state, parameters, trace);
  pack_speech_frame(parameters, frame);
}

void encoder_encode(EncoderState& state, std::span<const std::int16_t, kFrameLength> pcm,
                    std::span<std::uint8_t, kSpeechFrameBytes> frame) {
  encoder_encode_traced(state, pcm, frame, nullptr);
}

}  // namespace g729a
