// Any audio through the DTX encoder: every frame is speech (10 bytes), SID
// (2 bytes, last bit 0) or nothing, and the state stays finite and in step
// with a decoder that receives the frames.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_audio.h"
#include "g729a/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzaudio::require_finite;
  static auto enc = std::make_unique<g729a::EncoderState>();
  static auto dec = std::make_unique<g729a::DecoderState>();
  g729a::encoder_init(*enc, {.dtx = true});
  g729a::decoder_init(*dec);
  fuzzaudio::for_each_frame(data, size, 8, [&](const std::array<std::int16_t, 80>& pcm) {
    std::array<std::uint8_t, 10> bytes{};
    const std::size_t n = g729a::encoder_encode(*enc, pcm, bytes);
    std::array<std::int16_t, 80> out;
    if (n == 0) {
      g729a::decoder_decode_untransmitted(*dec, out);
    } else if ((n != 10 && n != 2) || (n == 2 && (bytes[1] & 1) != 0) ||
               !g729a::decoder_decode(*dec, std::span<const std::uint8_t>(bytes.data(), n), out)) {
      std::abort();
    }
    require_finite(enc->excitation_buffer);
    require_finite(enc->target_filter_memory);
    require_finite(enc->weighted_speech_filter_memory);
    const auto* e = enc->excitation_buffer.data();
    if (enc->lsf_ma_memory != dec->lsf_ma_memory ||
        !std::equal(e, e + g729a::kExcitationHistory, dec->excitation_buffer.data())) {
      std::abort();
    }
  });
  return 0;
}
