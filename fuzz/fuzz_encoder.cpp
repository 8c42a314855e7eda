// Any audio: every frame is a valid speech frame and the state stays finite.
// At most kMaxFrames frames per input keep the fuzzer trying many inputs.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "g729a/codec.h"

namespace {

// `width` bits from bit `first` of the frame, most significant first.
unsigned field(const std::array<std::uint8_t, 10>& frame, int first, int width) {
  unsigned v = 0;
  for (int b = first; b < first + width; ++b) v = (v << 1) | ((frame[b / 8] >> (7 - b % 8)) & 1);
  return v;
}

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
    std::array<std::int16_t, 80> pcm;
    for (int i = 0; i < 80; ++i) {
      const std::size_t k = 2 * (frame + i);
      pcm[i] = static_cast<std::int16_t>(data[k] | (data[k + 1] << 8));
    }
    std::array<std::uint8_t, 10> bytes;
    g729a::encoder_encode(*state, pcm, bytes);
    // Every frame valid: the parity bit agrees with the first delay's six
    // high bits, the second delay is a real one (not 0 or 31).
    const unsigned p1 = field(bytes, 18, 8);
    if (field(bytes, 26, 1) != static_cast<unsigned>(1 + std::popcount(p1 >> 2)) % 2) std::abort();
    const unsigned p2 = field(bytes, 51, 5);
    if (p2 == 0 || p2 == 31) std::abort();
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
