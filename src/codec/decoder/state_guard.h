// Recovery from runaway streams: a stream that keeps the pitch gain above 1
// makes the excitation grow frame after frame. Large values are decoded as
// they are; a channel starts afresh only when a value it carries into the
// next frame is no longer finite, so every stream that stays finite decodes
// unchanged.
#pragma once

#include <cstdint>
#include <span>

#include "g729a/decoder_state.h"

namespace g729a {

// True when every value the state carries from frame to frame that can grow
// with the signal (excitation, synthesis, residual and filter memories, the
// gain control) is finite. Table-derived fields (gains, LSPs, predictor
// memories) cannot become non-finite and are not looked at. in: state.
bool decoder_state_finite(const DecoderState& state);

// A runaway stream that has overflowed restarts the channel; its samples of
// the frame just decoded are already defined (conversion saturates, NaN
// gives 0). inout: state.
void restart_if_not_finite(DecoderState& state);

// decoder_decode without the recovery: the frame's arithmetic exactly,
// however far it runs. Tests compare the guarded decoder against it.
// in: frame; inout: state; out: pcm.
bool decoder_decode_unguarded(DecoderState& state, std::span<const std::uint8_t> frame,
                              std::span<std::int16_t, kFrameLength> pcm);

}  // namespace g729a
