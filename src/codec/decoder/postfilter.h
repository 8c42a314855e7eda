// Post-filter of one 40-sample subframe: long-term pitch post-filter on the
// weighted residual, tilt compensation, short-term synthesis and adaptive
// gain control.
#pragma once

#include <array>
#include <span>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/frame_format.h"
#include "codec/common/lp_filter.h"
#include "g729a/decoder_state.h"

namespace g729a {

using Subframe = std::array<double, 40>;

// The weighted filters A(z/0.55) and A(z/0.70): the powers of their gammas.
inline constexpr std::array<double, 11> kPostfilterNumeratorPowers = bandwidth_powers(0.55);
inline constexpr std::array<double, 11> kPostfilterDenominatorPowers = bandwidth_powers(0.70);
// A subframe's samples read or written in place (in a buffer with history
// before them, or a part of a frame).
using SubframeIn = std::span<const double, 40>;
using SubframeOut = std::span<double, 40>;

// in: r points at the subframe's residual with 143 past samples before it;
// T the subframe's integer pitch delay. out: p.
void pitch_postfilter(const double* r, int T, Subframe& p);

// First normalized autocorrelation of the An/Ad impulse response, times
// 0.8; 0 when it is not positive. in: An, Ad.
double tilt_factor(const LpVector& An, const LpVector& Ad);

// out[n] = p[n] - k p[n-1] over the subframe, p[-1] being memory (the last
// input sample of the previous subframe). in: k, p[0..39]; inout: memory;
// out: out[0..39], which must not overlap p.
void tilt_compensation(double k, SubframeIn p, double& memory, SubframeOut out);

// The gain control's running gain, one sample on. in: g, g0.
inline constexpr double kAgcDecay = 0.9;
inline double agc_step(double g, double g0) {
  return g * kAgcDecay + g0;
}

// What adaptive_gain_control does to a subframe, decided from its energies:
// out[n] = y[n] g[n] with g[n] = agc_step(g[n-1], g0) from the gain before
// it, or out = y when `unscaled` (a silent post-filter output; the gain
// then restarts at 0). in: x, y as above; inout: gain (0 when unscaled).
struct GainControl {
  double g0;
  bool unscaled;
};
GainControl gain_control_start(SubframeIn x, SubframeIn y, double& gain);

// gain_control_start in two parts: the energies of y (out) and x (in),
// each summed from 0 in increasing n, and the decision from them.
struct GainEnergies {
  double out;
  double in;
};
GainEnergies gain_energies(SubframeIn x, SubframeIn y);
GainControl gain_control_from(const GainEnergies& e, double& gain);

// The weighted filters of a subframe and its tilt factor.
struct PostfilterFilters {
  LpVector An;  // A(z/0.55)
  LpVector Ad;  // A(z/0.70)
  double tilt;
};

// Both subframes' filters, their two tilt impulse responses side by side
// and, when `interleaved` is given, interleaved with that independent 40-sample synthesis
// run too (their chains overlap). in: A; inout: *interleaved's output; out: f.
void postfilter_filters(const std::array<LpVector, 2>& A, const SynthesisRun* interleaved,
                        std::array<PostfilterFilters, 2>& f);

// postfilter_subframe in two halves around its short-term synthesis filter,
// so that the caller can run that filter interleaved with another one: the front
// leaves the filter's coefficients, input and memory in the stage, the
// caller filters p into y[10..49], the back does the rest.
struct PostfilterStage {
  LpVector Ad;
  Subframe p;
  std::array<double, 50> y;  // ten memory samples, then the filter's output
};

void postfilter_front(DecoderState& state, const PostfilterFilters& f, FrameKind kind, int T, int s,
                      PostfilterStage& stage);
// The filter's memory into the stage, once the previous subframe's back has
// kept it. in: state; out: stage.y[0..9].
void postfilter_continue(const DecoderState& state, PostfilterStage& stage);

// The back's first part: the filter's last ten outputs, flushed, become its
// memory. in: stage; inout: state.
void postfilter_keep_memory(const PostfilterStage& stage, DecoderState& state);

}  // namespace g729a
