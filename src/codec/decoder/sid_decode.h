// SID frames: spectral envelope and noise level of the comfort noise, and
// its excitation.
#pragma once

#include <cstdint>
#include <span>

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

// The SID frame's expanded codebook vector (one spreading pass).
// in: sid_stage1, sid_stage2; out: buf.
void sid_codebook_vector(int sid_stage1, int sid_stage2, LsfVector& buf);

// The SID envelope through the noise predictor of mode sid_switch; the
// memory advances as for speech frames. in: the three LSF fields; inout:
// memory; out: sid_lsp (cosine domain).
void sid_lsf_decode(int sid_switch, int sid_stage1, int sid_stage2, LsfMaMemory& memory,
                    std::span<double, 10> sid_lsp);

// A received SID gain: taken as it is right after speech, smoothed
// otherwise. in: previous_frame_kind, received; inout: sid_gain.
void sid_gain_take(std::int32_t previous_frame_kind, double received, double& sid_gain);

// One step of the gain smoothing. in: received; inout: sid_gain.
void sid_gain_smooth(double received, double& sid_gain);

// sid_gain moves one eighth of the way towards sid_received_gain, as for
// every SID or untransmitted frame after the first of a silence period.
// inout: state.
void sid_gain_continue(DecoderState& state);

}  // namespace g729a
