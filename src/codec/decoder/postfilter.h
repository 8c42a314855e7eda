// Post-filter of one 40-sample subframe: long-term pitch post-filter on the
// weighted residual, tilt compensation, short-term synthesis and adaptive
// gain control.
#pragma once

#include <array>
#include <span>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/frame_format.h"
#include "codec/common/lp_filter.h"
#include "codec/decoder/cng_excitation.h"
#include "g729a/decoder_state.h"

namespace g729a {

using Subframe = std::array<double, 40>;

// The weighted filters A(z/0.55) and A(z/0.70): the powers of their gammas.
inline constexpr std::array<double, 11> kPostfilterNumeratorPowers = bandwidth_powers(0.55);
inline constexpr std::array<double, 11> kPostfilterDenominatorPowers = bandwidth_powers(0.70);

// in: r points at the subframe's residual with 143 past samples before it;
// T the subframe's integer pitch delay. out: p.
void pitch_postfilter(const double* r, int T, Subframe& p);

// First normalized autocorrelation of the An/Ad impulse response, times
// 0.8; 0 when it is not positive. in: An, Ad.
double tilt_factor(const LpVector& An, const LpVector& Ad);

// out[n] = p[n] - k p[n-1] over the subframe, p[-1] being memory (the last
// input sample of the previous subframe). in: k, p[0..39]; inout: memory;
// out: out[0..39], which must not overlap p.
void tilt_compensation(double k, const double* p, double& memory, double* out);

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
GainControl gain_control_start(const double* x, const double* y, double& gain);

// gain_control_start in two parts: the energies of y (out) and x (in),
// each summed from 0 in increasing n, and the decision from them.
struct GainEnergies {
  double out;
  double in;
};
GainEnergies gain_energies(const double* x, const double* y);
GainControl gain_control_from(const GainEnergies& e, double& gain);

// The weighted filters of a subframe and its tilt factor.
struct PostfilterFilters {
  LpVector An;  // A(z/0.55)
  LpVector Ad;  // A(z/0.70)
  double tilt;
};

// Both subframes' filters, their two tilt impulse responses side by side
// and, when `beside` is given, beside that independent 40-sample synthesis
// run too (their chains overlap). in: A; inout: *beside's output; out: f.
void postfilter_filters(const std::array<LpVector, 2>& A, const SynthesisRun* beside,
                        std::array<PostfilterFilters, 2>& f);

// postfilter_subframe in two halves around its short-term synthesis filter,
// so that the caller can run that filter beside another one: the front
// leaves the filter's coefficients, input and memory in the stage, the
// caller filters p into y[10..49], the back does the rest.
struct PostfilterStage {
  LpVector Ad;
  Subframe p;
  std::array<double, 50> y;  // ten memory samples, then the filter's output
};

// A subframe's excitation yet to be formed: gain_pitch times its adaptive
// vector plus gain_code times the codevector. Comfort noise then adds its
// four pulses (cng_add_pulses, cv holding the scaled noise).
struct PendingExcitation {
  AdaptivePlan plan;
  double gain_pitch;
  double gain_code;
  std::array<double, kSubframeLength> cv;
  bool pulses = false;
  CngDraw draw;
  double noise_gain;  // G of the pulses' target energy
};

// The first subframe's synthesis (A[0], x into y, as lp_synthesis), both
// subframes' filters (postfilter_filters), the synthesis into the synthesis
// buffer and the first subframe's postfilter_front, as the four give it one
// after the other; the vector path runs the synthesis beside the tilt
// responses and forms the front's residual and pitch sums beside it. Given
// `next`, the second subframe's excitation is formed at x[40..79] as well
// (it reads x[0..39] and older excitation only), on the vector path beside
// the synthesis. in: A, x[-154..39], kind, T, next; inout: state,
// y[-10..-1]; out: y[0..39], f, stage, x[40..79] when next is given.
void first_synthesis_beside_front(const std::array<LpVector, 2>& A, double* x, FrameKind kind,
                                  int T, const PendingExcitation* next, DecoderState& state,
                                  double* y, std::array<PostfilterFilters, 2>& f,
                                  PostfilterStage& stage);

void postfilter_front(DecoderState& state, const PostfilterFilters& f, FrameKind kind, int T, int s,
                      PostfilterStage& stage);
// The filter's memory into the stage, once the previous subframe's back has
// kept it. in: state; out: stage.y[0..9].
void postfilter_continue(const DecoderState& state, PostfilterStage& stage);

// The second subframe's synthesis (a0, x0 into y0, as lp_synthesis) and the
// first subframe's post-filter synthesis (a1, x1 into y1) side by side, as
// lp_synthesis_pair; the synthesis then into the synthesis buffer, and the
// second subframe's postfilter_front, and the first subframe's
// gain_energies (of its synthesis and y1). The vector path forms the
// front's residual and pitch sums and the energies beside the two
// syntheses, each term as soon as its samples are known; every path gives
// what the steps give one after the other. in: a0, x0, a1, x1, f, kind, T;
// inout: state, y0[-10..-1] and y1[-10..-1] (the filters' memories); out:
// y0[0..39], y1[0..39], stage, first.
void synthesis_pair_beside_front(const LpVector& a0, const double* x0, const LpVector& a1,
                                 const double* x1, const PostfilterFilters& f, FrameKind kind,
                                 int T, DecoderState& state, double* y0, double* y1,
                                 PostfilterStage& stage, GainEnergies& first);
// The back's first part: the filter's last ten outputs, flushed, become its
// memory. in: stage; inout: state.
void postfilter_keep_memory(const PostfilterStage& stage, DecoderState& state);

}  // namespace g729a
