// Placeholder until the encoder lands: every frame codes as all-zero parameters.
#include "codec/encoder/encoder.h"

namespace g729a {

void encoder_init(EncoderState& state) {
  state.speech_buffer.fill(0.0);
  state.speech_frame = 120;
  state.speech_window = 0;
  state.speech_new = 160;
}

void encode_frame(EncoderState& /*state*/, FrameParameters& out) {
  out.kind = FrameKind::Speech;
  out.slots.fill(0);
}

}  // namespace g729a
