// Any audio: every frame is a valid speech frame and the state stays finite.
// At most kMaxFrames frames per input keep the fuzzer trying many inputs.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "codec/common/frame_format.h"
#include "codec/encoder/encoder.h"

namespace {

template <typename Array>
void require_finite(const Array& values) {
  for (double v : values) {
    if (!std::isfinite(v)) std::abort();
  }
}

constexpr std::size_t kMaxFrames = 3;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto state = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*state);
  const std::size_t samples = std::min(size / 2, 80 * kMaxFrames);
  for (std::size_t frame = 0; frame + 80 <= samples; frame += 80) {
    for (int i = 0; i < 80; ++i) {
      const std::size_t k = 2 * (frame + i);
      state->speech_buffer[g729a::kSpeechNew + i] =
          static_cast<std::int16_t>(data[k] | (data[k + 1] << 8));
    }
    g729a::FrameParameters params;
    g729a::encode_frame(*state, params);
    if (params.kind != g729a::FrameKind::Speech) std::abort();
    std::uint8_t bytes[10];
    g729a::pack_speech_frame(params, bytes);
    g729a::FrameParameters back;
    g729a::unpack_frame(bytes, 10, back);
    for (int s = 0; s < 11; ++s) {
      if (s != g729a::kSlotP0 && back.slots[s] != params.slots[s]) std::abort();  // out of range
    }
    if (back.slots[g729a::kSlotP0] != 0) std::abort();
    require_finite(state->speech_buffer);
    require_finite(state->weighted_speech_buffer);
    require_finite(state->excitation_buffer);
    require_finite(state->target_filter_memory);
    require_finite(state->weighted_speech_filter_memory);
    require_finite(state->taming_error);
    require_finite(state->gain_predictor_memory);
  }
  return 0;
}
