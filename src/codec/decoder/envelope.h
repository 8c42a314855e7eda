// A frame's spectral envelope: the LSPs each kind of frame decodes or
// repeats, and the two subframe filters interpolated from them.
#pragma once

#include <array>
#include <span>

#include "codec/common/frame_format.h"
#include "codec/common/lp.h"
#include "g729a/decoder_state.h"

namespace g729a {

// A1 from the midpoint of the previous and new LSPs, A2 from the new ones;
// the new LSPs become the previous ones. in: lsp_new; inout: lsp_previous;
// out: A.
void interpolate_lp(std::span<const double, 10> lsp_new, std::array<double, 10>& lsp_previous,
                    std::array<LpVector, 2>& A);

// A speech frame's envelope: LSFs from the codebooks and the MA predictor of
// mode L0, their LSPs, the subframe filters. in: fp (Speech); inout: state;
// out: A.
void speech_envelope(DecoderState& state, const FrameParameters& fp, std::array<LpVector, 2>& A);

// A lost frame: the previous envelope repeated (the LSF predictor advanced
// to match it) and the excitation continued at the previous delay.
// inout: state; out: A, T.
void concealed_envelope_and_excitation(DecoderState& state, std::array<LpVector, 2>& A,
                                       std::array<int, 2>& T);

// A comfort-noise frame: the filters towards sid_lsp, no pitch sharpening.
// inout: state; out: A.
void comfort_noise_envelope(DecoderState& state, std::array<LpVector, 2>& A);

}  // namespace g729a
