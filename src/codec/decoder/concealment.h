// Erased frames: what the decoder puts in place of a frame that was expected
// but did not arrive, from its own state alone.
#pragma once

#include <array>
#include <cstdint>

#include "codec/common/gain_prediction.h"
#include "g729a/decoder_state.h"

namespace g729a {

// Seed of the erased frames' codebook draws at start.
inline constexpr std::int16_t kErasureSeedStart = 21845;

// Advances the LSF predictor memory with the codebook vector that, predicted
// with `mode`, reproduces the LSFs of lsp_previous, so the next received
// frame predicts from a memory consistent with the repeated envelope.
// in: lsp_previous (cosine domain), mode (0 or 1); inout: memory.
void lsf_memory_repeat(const std::array<double, 10>& lsp_previous, int mode, LsfMaMemory& memory);

// Shifts in the mean of the four values less 4 dB, at least -14 dB, so a
// long loss fades the predicted code gain. inout: memory.
void gain_predictor_conceal(GainPredictorMemory& memory);

// One erased subframe's excitation at `position` of excitation_buffer: the
// previous delay (fraction 0), random pulses from erasure_seed and the
// decayed gains. inout: state; out: T, the integer delay used.
void erased_excitation(DecoderState& state, int position, int& T);

}  // namespace g729a
