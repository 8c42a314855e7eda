#include "codec/common/adaptive_codebook.h"
#include "codec/encoder/encoder.h"
#include "codec/encoder/subframe.h"

namespace g729a {

void encoder_init(EncoderState& state) {
  state.speech_buffer.fill(0.0);
  state.speech_frame = kSpeechFrame;
  state.speech_window = kSpeechWindow;
  state.speech_new = kSpeechNew;
  state.weighted_speech_buffer.fill(0.0);
  state.weighted_speech_frame = kWeightedSpeechFrame;
  state.excitation_buffer.fill(0.0);
  state.excitation_frame = kExcitationFrame;
  state.lsp_previous = lsp_initial;
  state.lsp_previous_quantized = lsp_initial;
  state.target_filter_memory.fill(0.0);
  state.weighted_speech_filter_memory.fill(0.0);
  state.zero_filter_memory.fill(0.0);
  state.pitch_sharpening = kSharpeningMin;
  lsf_ma_memory_init(state.lsf_ma_memory);
  state.taming_error.fill(1.0);
  state.gain_predictor_memory.fill(-14.0);
}

}  // namespace g729a
