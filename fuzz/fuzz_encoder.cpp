// Any audio: every frame is a valid speech frame and the state stays finite.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "codec/common/frame_format.h"
#include "g729a/codec.h"

namespace {

template <typename Array>
void require_finite(const Array& values) {
  for (double v : values) {
    if (!std::isfinite(v)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto state = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*state);
  const std::size_t samples = size / 2;
  for (std::size_t frame = 0; frame + 80 <= samples; frame += 80) {
    std::array<std::int16_t, 80> pcm;
    for (int i = 0; i < 80; ++i) {
      const std::size_t k = 2 * (frame + i);
      pcm[i] = static_cast<std::int16_t>(data[k] | (data[k + 1] << 8));
    }
    std::array<std::uint8_t, 10> bytes;
    g729a::encoder_encode(*state, pcm, bytes);
    // Every frame valid: its parity bit agrees, the second delay is a real one.
    g729a::FrameParameters back;
    if (!g729a::unpack_frame(bytes.data(), 10, back)) std::abort();
    if (back.slots[g729a::kSlotP0] != 0) std::abort();
    if (back.slots[g729a::kSlotP2] == 0 || back.slots[g729a::kSlotP2] == 31) std::abort();
    require_finite(state->speech_buffer);
    require_finite(state->weighted_speech_buffer);
    require_finite(state->excitation_buffer);
    require_finite(state->target_filter_memory);
    require_finite(state->weighted_speech_filter_memory);
    require_finite(state->taming_error);
    require_finite(state->gain_predictor_memory);
    require_finite(state->preprocess_memory);
  }
  return 0;
}
