// Any audio through the DTX encoder: every frame is speech (10 bytes), SID
// (2 bytes, last bit 0) or nothing, and the state stays finite and in step
// with a decoder that receives the frames.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "g729a/codec.h"

namespace {

template <typename Array>
void require_finite(const Array& values) {
  for (double v : values) {
    if (!std::isfinite(v)) std::abort();
  }
}

constexpr std::size_t kMaxFrames = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto enc = std::make_unique<g729a::EncoderState>();
  static auto dec = std::make_unique<g729a::DecoderState>();
  g729a::encoder_init(*enc, {.dtx = true});
  g729a::decoder_init(*dec);
  const std::size_t samples = std::min(size / 2, 80 * kMaxFrames);
  for (std::size_t frame = 0; frame + 80 <= samples; frame += 80) {
    std::array<std::int16_t, 80> pcm;
    for (int i = 0; i < 80; ++i) {
      const std::size_t k = 2 * (frame + i);
      pcm[i] = static_cast<std::int16_t>(data[k] | (data[k + 1] << 8));
    }
    std::array<std::uint8_t, 10> bytes{};
    const std::size_t n = g729a::encoder_encode(*enc, pcm, bytes);
    std::array<std::int16_t, 80> out;
    if (n == 0) {
      g729a::decoder_decode_untransmitted(*dec, out);
    } else if (n == 10 || n == 2) {
      if (n == 2 && (bytes[1] & 1) != 0) std::abort();
      if (!g729a::decoder_decode(*dec, std::span<const std::uint8_t>(bytes.data(), n), out)) {
        std::abort();
      }
    } else {
      std::abort();
    }
    require_finite(enc->excitation_buffer);
    require_finite(enc->target_filter_memory);
    require_finite(enc->weighted_speech_filter_memory);
    if (enc->lsf_ma_memory != dec->lsf_ma_memory) std::abort();
    for (int i = 0; i < g729a::kExcitationHistory; ++i) {
      if (enc->excitation_buffer[i] != dec->excitation_buffer[i]) std::abort();
    }
  }
  return 0;
}
