// The decoder: one 10-byte speech frame or 2-byte SID frame in, 80 samples
// out; or 80 samples for a frame that was lost or not sent.
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

// A frame was expected and nothing usable arrived: the previous envelope and
// excitation continue with decaying gains. out: 80 samples; inout: state.
void decode_erased_frame(DecoderState& state, std::int16_t* out);

// A DTX gap after a SID frame: its comfort noise continues. When the last
// frame that arrived was speech (the SID frame was lost) the frame is
// concealed as an erased one instead.
// out: 80 samples; inout: state.
void decode_untransmitted_frame(DecoderState& state, std::int16_t* out);

}  // namespace g729a
