// Output high-pass filter and conversion of post-filtered samples to PCM.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "codec/decoder/postfilter.h"
#include "g729a/frame_geometry.h"

namespace g729a {

// Rounds half away from zero and saturates to 16 bits. Defined for every
// double: NaN gives 0, infinities saturate. in: w.
std::int16_t to_pcm_sample(double w);

// to_pcm_sample on each of a frame's samples, several at once where the
// processor allows. in: w; out: pcm.
void to_pcm(std::span<const double, 80> w, std::span<std::int16_t, 80> pcm);

// output_stage in two parts, its recursion's first half running interleaved with the
// frame's last post-filter synthesis (the two chains overlap); together
// they give exactly what lp_synthesis and output_stage give one after the
// other. First part: in: a, x[0..39], y[-10..-1] (as lp_synthesis), v[0..39];
// inout: memory; out: y[0..39], w[0..39].
void synthesis_with_output_filter(const LpVector& a, const double* x, double* y, const double* v,
                                  std::array<double, 4>& memory, double* w);
// The first part with the first subframe's gain control applied on the
// way (v[n] is y0[n] scaled as `control` says), and the next subframe's
// gain_energies(s, y) formed alongside. in: a, x, y[-10..-1], control,
// y0[0..39], s[0..39] (that subframe's synthesis); inout: gain, memory;
// out: y[0..39], w[0..39], energies.
void postfilter_2_synthesis_with_output_filter_1(const LpVector& a, const double* x, double* y,
                                                 const GainControl& control, const double* y0,
                                                 const double* s, double& gain,
                                                 std::array<double, 4>& memory, double* w,
                                                 GainEnergies& energies);
// Second part: in: v[40..79], w[0..39]; inout: memory, w; out: pcm.
void output_stage_finish(std::span<const double, 80> v, std::array<double, 4>& memory,
                         std::span<double, 80> w, std::span<std::int16_t, 80> pcm);
// The second part with the last subframe's gain control applied on the way:
// v[40 + n] is y[n] scaled as `control` says (adaptive_gain_control's
// products), so the running gain's chain and the filter's overlap. in:
// control, y[0..39], w[0..39]; inout: gain, memory, w; out: pcm.
void output_stage_finish_controlled(const GainControl& control, const double* y, double& gain,
                                    std::array<double, 4>& memory, std::span<double, 80> w,
                                    std::span<std::int16_t, 80> pcm);

}  // namespace g729a
