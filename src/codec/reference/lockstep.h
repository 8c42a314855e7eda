// One frame through the reference codec and the fast codec side by side:
// outputs, results and whole states compared, for the differential tests
// and fuzz targets.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "g729a/codec.h"

namespace g729a {

// What the decoder is given for a frame.
enum class DecoderInput { Received, Erased, Untransmitted };

// The reference runs on the scalar path, the fast codec on the path in
// effect. Returns "" when both agree bit for bit, else the first
// difference, e.g. "pcm[3]: 17 != 18" or "state agc_gain: 0.5 != 0.6"
// (reference first). in: input, frame (Received only); inout: reference,
// fast (the two decoders' states).
std::string decode_in_lockstep(DecoderState& reference, DecoderState& fast, DecoderInput input,
                               std::span<const std::uint8_t> frame = {});

// in: pcm; inout: reference, fast (the two encoders' states).
std::string encode_in_lockstep(EncoderState& reference, EncoderState& fast,
                               std::span<const std::int16_t, kFrameLength> pcm);

}  // namespace g729a
