#include "codec/reference/lockstep.h"

#include <array>

#include "codec/reference/reference.h"
#include "codec/reference/state_compare.h"
#include "codec/simd/simd.h"

namespace g729a {
namespace {

template <std::size_t N, class T>
std::string first_output_difference(const char* name, const std::array<T, N>& a,
                                    const std::array<T, N>& b) {
  for (std::size_t i = 0; i < N; ++i) {
    if (a[i] != b[i]) {
      return std::string(name) + "[" + std::to_string(i) + "]: " + std::to_string(a[i]) +
             " != " + std::to_string(b[i]);
    }
  }
  return "";
}

template <class State>
std::string state_difference(const State& reference, const State& fast) {
  const std::string field = first_state_difference(reference, fast);
  return field.empty() ? field : "state " + field;
}

}  // namespace

std::string decode_in_lockstep(DecoderState& reference, DecoderState& fast, DecoderInput input,
                               std::span<const std::uint8_t> frame) {
  std::array<std::int16_t, kFrameLength> pcm_reference{};
  std::array<std::int16_t, kFrameLength> pcm_fast{};
  bool accepted_reference = true;
  bool accepted_fast = true;
  {
    const ScopedSimdPath scalar(SimdPath::Scalar);
    switch (input) {
      case DecoderInput::Received:
        accepted_reference = reference_decode(reference, frame, pcm_reference);
        break;
      case DecoderInput::Erased:
        reference_decode_erased(reference, pcm_reference);
        break;
      case DecoderInput::Untransmitted:
        reference_decode_untransmitted(reference, pcm_reference);
        break;
    }
  }
  switch (input) {
    case DecoderInput::Received:
      accepted_fast = decoder_decode(fast, frame, pcm_fast);
      break;
    case DecoderInput::Erased:
      decoder_decode_erased(fast, pcm_fast);
      break;
    case DecoderInput::Untransmitted:
      decoder_decode_untransmitted(fast, pcm_fast);
      break;
  }
  if (accepted_reference != accepted_fast) {
    return std::string("frame ") + (accepted_reference ? "accepted" : "refused") +
           " by the reference, " + (accepted_fast ? "accepted" : "refused") + " by the codec";
  }
  std::string difference = first_output_difference("pcm", pcm_reference, pcm_fast);
  if (difference.empty()) difference = state_difference(reference, fast);
  return difference;
}

std::string encode_in_lockstep(EncoderState& reference, EncoderState& fast,
                               std::span<const std::int16_t, kFrameLength> pcm) {
  std::array<std::uint8_t, kSpeechFrameBytes> frame_reference{};
  std::array<std::uint8_t, kSpeechFrameBytes> frame_fast{};
  {
    const ScopedSimdPath scalar(SimdPath::Scalar);
    reference_encode(reference, pcm, frame_reference);
  }
  encoder_encode(fast, pcm, frame_fast);
  std::string difference = first_output_difference("frame byte", frame_reference, frame_fast);
  if (difference.empty()) difference = state_difference(reference, fast);
  return difference;
}

}  // namespace g729a
