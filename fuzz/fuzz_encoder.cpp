// Any audio: every frame is a valid speech frame and the state stays finite.
// At most kMaxFrames frames per input keep the fuzzer trying many inputs.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_audio.h"
#include "g729a/codec.h"

namespace {

// `width` bits from bit `first` of the frame, most significant first.
unsigned field(const std::array<std::uint8_t, 10>& frame, int first, int width) {
  unsigned v = 0;
  for (int b = first; b < first + width; ++b) v = (v << 1) | ((frame[b / 8] >> (7 - b % 8)) & 1);
  return v;
}

constexpr std::size_t kMaxFrames = 3;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzaudio::require_finite;
  static auto state = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*state);
  fuzzaudio::for_each_frame(data, size, kMaxFrames, [&](const std::array<std::int16_t, 80>& pcm) {
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
  });
  return 0;
}
