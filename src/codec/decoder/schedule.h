// The decoder's fused schedule: a frame's synthesis, post-filter and output
// stage with independent recursions interleaved so that their chains
// overlap. Every path gives exactly what the plain stages give one after the
// other (postfilter_subframe, output_stage; see the reference decoder).
//
// The design's order                       step (schedule.cpp; * output_stage.cpp)
// ---------------------------------------  --------------------------------------------------
// excitation, subframe 2 (adaptive part)   synthesis_1_with_excitation_2_and_postfilter_1_pitch
// synthesis, subframe 1                    synthesis_1_with_excitation_2_and_postfilter_1_pitch
// post-filter filters, tilt (both)         synthesis_1_with_excitation_2_and_postfilter_1_pitch
// post-filter 1: residual, pitch, tilt     synthesis_1_with_excitation_2_and_postfilter_1_pitch
// synthesis, subframe 2                    synthesis_2_with_postfilter_1_synthesis
// post-filter 1: synthesis                 synthesis_2_with_postfilter_1_synthesis
// post-filter 2: residual, pitch, tilt     synthesis_2_with_postfilter_1_synthesis
// post-filter 1: gain control energies     synthesis_2_with_postfilter_1_synthesis
// post-filter 2: synthesis                 postfilter_2_synthesis_with_output_filter_1 *
// post-filter 1: gain control              postfilter_2_synthesis_with_output_filter_1 *
// output filter, samples 0..39             postfilter_2_synthesis_with_output_filter_1 *
// post-filter 2: gain control energies     postfilter_2_synthesis_with_output_filter_1 *
// post-filter 2: gain control              output_stage_finish_controlled *
// output filter, samples 40..79; to PCM    output_stage_finish_controlled *
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "codec/decoder/excitation.h"
#include "codec/decoder/postfilter.h"
#include "g729a/decoder_state.h"
#include "g729a/frame_geometry.h"

namespace g729a {

// What the shared end of the driver needs from a frame's own road: the LP
// vector and integer pitch delay of each subframe and the frame's kind.
struct FrameSynthesis {
  std::array<LpVector, 2> A;
  std::array<int, 2> T = {0, 0};
  FrameKind kind = FrameKind::Speech;
  bool flush = true;  // speech roads store tiny synthesis memory values as 0
  // A speech or comfort-noise frame's second excitation is formed interleaved with
  // the first subframe's synthesis; concealment forms its own in place.
  bool second_pending = false;
  PendingExcitation second;
};

// The first subframe's synthesis (A[0], x into y, as lp_synthesis), both
// subframes' filters (postfilter_filters), the synthesis into the synthesis
// buffer and the first subframe's postfilter_front, as the four give it one
// after the other; the vector path runs the synthesis interleaved with the tilt
// responses and forms the front's residual and pitch sums interleaved with it. Given
// `next`, the second subframe's excitation is formed at x[40..79] as well
// (it reads x[0..39] and older excitation only), on the vector path interleaved with
// the synthesis. in: A, x[-154..39], kind, T, next; inout: state,
// y[-10..-1]; out: y[0..39], f, stage, x[40..79] when next is given.
void synthesis_1_with_excitation_2_and_postfilter_1_pitch(const std::array<LpVector, 2>& A,
                                                          double* x, FrameKind kind, int T,
                                                          const PendingExcitation* next,
                                                          DecoderState& state, double* y,
                                                          std::array<PostfilterFilters, 2>& f,
                                                          PostfilterStage& stage);

// The second subframe's synthesis (a0, x0 into y0, as lp_synthesis) and the
// first subframe's post-filter synthesis (a1, x1 into y1) side by side, as
// lp_synthesis_pair; the synthesis then into the synthesis buffer, and the
// second subframe's postfilter_front, and the first subframe's
// gain_energies (of its synthesis and y1). The vector path forms the
// front's residual and pitch sums and the energies interleaved with the two
// syntheses, each term as soon as its samples are known; every path gives
// what the steps give one after the other. in: a0, x0, a1, x1, f, kind, T;
// inout: state, y0[-10..-1] and y1[-10..-1] (the filters' memories); out:
// y0[0..39], y1[0..39], stage, first.
void synthesis_2_with_postfilter_1_synthesis(const LpVector& a0, const double* x0,
                                             const LpVector& a1, const double* x1,
                                             const PostfilterFilters& f, FrameKind kind, int T,
                                             DecoderState& state, double* y0, double* y1,
                                             PostfilterStage& stage, GainEnergies& first);
// Synthesis of both subframes, the post-filter and the output stage,
// independent recursions side by side so that their chains overlap: the
// first subframe's synthesis interleaved with the tilt impulse responses, the second
// subframe's interleaved with the first subframe's post-filter synthesis, the second
// post-filter synthesis interleaved with the first half of the output filter. Speech
// subframes flush tiny synthesis memory values, comfort-noise ones do not.
// in: f; inout: state; out: pcm.
void synthesis_postfilter_and_output(DecoderState& state, const FrameSynthesis& f,
                                     std::span<std::int16_t, kFrameLength> pcm);

}  // namespace g729a
