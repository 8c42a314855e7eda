// Payloads of the translators' sample frames (generated data).
#pragma once

#include <array>
#include <cstdint>

namespace g729a {

extern const std::array<std::int16_t, 240> lintog729_sample_pcm;     // native-endian speech
extern const std::array<std::uint8_t, 50> g729tolin_sample_payload;  // five speech frames

}  // namespace g729a
