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

// A decoder's three entry points.
struct DecoderCalls {
  bool (*decode)(DecoderState&, std::span<const std::uint8_t>,
                 std::span<std::int16_t, kFrameLength>);
  void (*erased)(DecoderState&, std::span<std::int16_t, kFrameLength>);
  void (*untransmitted)(DecoderState&, std::span<std::int16_t, kFrameLength>);
};
constexpr DecoderCalls kReferenceDecoder = {reference_decode, reference_decode_erased,
                                            reference_decode_untransmitted};
constexpr DecoderCalls kFastDecoder = {decoder_decode, decoder_decode_erased,
                                       decoder_decode_untransmitted};

// Returns whether the frame was accepted (missing frames always are).
bool run_decoder(const DecoderCalls& calls, DecoderState& state, DecoderInput input,
                 std::span<const std::uint8_t> frame, std::span<std::int16_t, kFrameLength> pcm) {
  switch (input) {
    case DecoderInput::Erased:
      calls.erased(state, pcm);
      return true;
    case DecoderInput::Untransmitted:
      calls.untransmitted(state, pcm);
      return true;
    default:
      return calls.decode(state, frame, pcm);
  }
}

}  // namespace

std::string decode_in_lockstep(DecoderState& reference, DecoderState& fast, DecoderInput input,
                               std::span<const std::uint8_t> frame) {
  std::array<std::int16_t, kFrameLength> pcm_reference{};
  std::array<std::int16_t, kFrameLength> pcm_fast{};
  bool accepted_reference;
  {
    const ScopedSimdPath scalar(SimdPath::Scalar);
    accepted_reference = run_decoder(kReferenceDecoder, reference, input, frame, pcm_reference);
  }
  const bool accepted_fast = run_decoder(kFastDecoder, fast, input, frame, pcm_fast);
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
