// Placeholder until the decoder lands: every frame decodes to silence.
#include "codec/decoder/decoder.h"

namespace g729a {

int decoder_state_init(DecoderState& state) {
  state = DecoderState{};
  return 0;
}

int decode_frame(DecoderState& /*state*/, std::int16_t* out, const std::uint8_t* /*payload*/,
                 int length) {
  if (length != 10 && length != 2) return -1;
  for (int i = 0; i < 80; ++i) out[i] = 0;
  return 0;
}

}  // namespace g729a
