// SID frames: spectral envelope and noise level of the comfort noise, and
// its excitation.
#pragma once

#include <cstdint>

#include "g729a/decoder_state.h"

namespace g729a {

// Comfort-noise seed at start and after every speech frame, so each silence
// period's noise starts from the same sequence.
inline constexpr std::int16_t kCngSeedStart = 11111;

struct PendingExcitation;

// in: the four SID fields; inout: state (sid_received_gain, sid_gain,
// sid_lsp, lsf_ma_memory, cng_seed and the frame's excitation at 154, its
// second subframe left to *second when given, as comfort_noise_excitation
// does). previous_frame_kind must still hold the previous frame's kind.
void sid_decode(DecoderState& state, int sid_switch, int sid_stage1, int sid_stage2, int sid_energy,
                PendingExcitation* second = nullptr);

// sid_gain moves one eighth of the way towards sid_received_gain, as for
// every SID or untransmitted frame after the first of a silence period.
// inout: state.
void sid_gain_continue(DecoderState& state);

}  // namespace g729a
