// Recovery from runaway streams: a stream that keeps the pitch gain above 1
// makes the excitation grow without limit; such a channel starts afresh
// instead of overflowing into infinities and NaNs.
#pragma once

#include "g729a/decoder_state.h"

namespace g729a {

// Far above anything real speech reaches (samples are 16-bit; excitation and
// filter memories of valid streams stay within a few times 1e5), yet far
// below where doubles overflow.
inline constexpr double kRunawayBound = 1e12;

// True when every signal value and filter memory of the state is finite and
// within kRunawayBound in magnitude. in: state.
bool decoder_state_within_bounds(const DecoderState& state);

}  // namespace g729a
