// The codec as its steps read, one after the other: every stage a plain
// unit, no stage interleaved with another. It works on the same state records as
// the codec API (init them with encoder_init and decoder_init), so that a
// test can run both on the same input and compare the whole state after
// every frame. Linked by tests, benchmarks and fuzz targets only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "g729a/codec.h"

namespace g729a {

// encoder_encode's frame. Returns the bytes written (always a speech
// frame). in: pcm; inout: state; out: frame.
std::size_t reference_encode(EncoderState& state, std::span<const std::int16_t, kFrameLength> pcm,
                             std::span<std::uint8_t, kSpeechFrameBytes> frame);

// decoder_decode's frame: false for a length other than 10 or 2, without
// touching state and pcm. in: frame; inout: state; out: pcm.
bool reference_decode(DecoderState& state, std::span<const std::uint8_t> frame,
                      std::span<std::int16_t, kFrameLength> pcm);

// decoder_decode_erased's frame. inout: state; out: pcm.
void reference_decode_erased(DecoderState& state, std::span<std::int16_t, kFrameLength> pcm);

// decoder_decode_untransmitted's frame. inout: state; out: pcm.
void reference_decode_untransmitted(DecoderState& state, std::span<std::int16_t, kFrameLength> pcm);

}  // namespace g729a
