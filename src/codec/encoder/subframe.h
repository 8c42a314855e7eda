// The encoder's subframe steps around the three searches: impulse response,
// target, adaptive-codebook gain, codebook target, gain correlations,
// excitation and memory updates.
#pragma once

#include <array>
#include <cstdint>

#include "codec/common/frame_format.h"
#include "codec/encoder/lp_analysis.h"
#include "g729a/encoder_state.h"

namespace g729a {

// y[n] = u[n] - sum a'[k] y[n-k]. in: u[0..39], ap, memory (ten past
// outputs, newest last); out: y[0..39] (may be u itself).
void weighted_synthesis(const double* u, const LpVector& ap, const std::array<double, 10>& memory,
                        double* y);

// The frame's first syntheses, which do not depend on each other, side by
// side: the first subframe's weighted speech (through c0), both subframes'
// impulse responses and the first subframe's target (through ap[0]).
// in: c0, ap, res[0..39], target_memory; inout: wsp_memory (flushed on the
// way out, as weighted_speech leaves it); out: wsp[0..39], h0, h1, x0.
void frame_start_syntheses(const LpVector& c0, const std::array<LpVector, 2>& ap, const double* res,
                           const std::array<double, 10>& target_memory,
                           std::array<double, 10>& wsp_memory, double* wsp, double* h0, double* h1,
                           double* x0);

// The target correlated with the impulse response, as both searches need it.
// in: x[0..39], h[0..39]; out: d[n] = sum over k = n..39 of x[k] h[k-n],
// added in increasing k.
void backward_filter(const double* x, const double* h, double* d);

// Adaptive-codebook gain, bounded to 0..1.2. in: x (target), y1 (filtered
// adaptive vector); out: *g0 = 0.01 + sum y1^2, *g1 = -2 sum x y1 + 0.01.
double adaptive_gain(const double* x, const double* y1, double* g0, double* g1);

// in: x, y1, gp; out: x2[n] = x[n] - gp y1[n].
void codebook_target(const double* x, const double* y1, double gp, double* x2);

// in: x, y1, y2; out: g[2..4] (g[0], g[1] from adaptive_gain).
void gain_correlations(const double* x, const double* y1, const double* y2, double* g);

// in: gp, gc, cw; inout: exc[0..39] (adaptive vector in, excitation out).
void build_excitation(double* exc, double gp, double gc, const double* cw);

// in: x, y1, y2, quantized gp and gc;
// out: memory[j] = x[30+j] - gp y1[30+j] - gc y2[30+j], flushed.
void update_target_memory(const double* x, const double* y1, const double* y2, double gp, double gc,
                          std::array<double, 10>& memory);

}  // namespace g729a
