// The decoder: one 10-byte speech frame or 2-byte SID frame in, 80 samples out.
#pragma once

#include <cstdint>

#include "codec/decoder/decoder_state.h"

namespace g729a {

// Sets every field to its initial value. Returns 0.
int decoder_state_init(DecoderState& state);

// in: `length` bytes at payload (10 speech, 2 SID); out: 80 samples.
// Returns 0, or -1 for any other length without reading the payload,
// writing samples or touching the state.
int decode_frame(DecoderState& state, std::int16_t* out, const std::uint8_t* payload, int length);

}  // namespace g729a
