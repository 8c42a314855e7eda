// Frame-level analysis of the encoder: the unquantized LP filter and its
// LSPs, the quantized and weighted filters of both subframes and the
// weighted speech.
#pragma once

#include <array>
#include <span>

#include "g729a/frame_geometry.h"

namespace g729a {

// in: speech[240] (the whole analysis window); out: r[0..10], floored and
// lag-windowed.
void windowed_autocorrelation(std::span<const double, 240> speech, std::span<double, 11> r);

// in: sums[0..10], the window's plain lagged sums; out: r[0..10], floored
// and lag-windowed.
void autocorrelation_from_sums(const double* sums, std::span<double, 11> r);

// The input filter over the window's newest 80 samples and the windowed
// autocorrelation of the whole window, as encoder_preprocess followed by
// windowed_autocorrelation give them (the vector paths run the two side by
// side). inout: memory, speech[240]; out: r[0..10].
void filtered_window_autocorrelation(BiquadMemory& memory, std::span<double, 240> speech,
                                     std::span<double, 11> r);

// lp_analysis from the window's autocorrelation. in: r, lsp_previous; out:
// lsp_new.
void lp_from_autocorrelation(std::span<const double, 11> r,
                             std::span<const double, 10> lsp_previous,
                             std::span<double, 10> lsp_new);

// in: aq; out: ap[k] = aq[k] * 0.75^k.
void weight_filter(const LpVector& aq, LpVector& ap);

// in: ap; out: c, the weighted-speech filter's coefficients.
void weighted_speech_filter(const LpVector& ap, LpVector& c);

// in: res[0..39], ap; inout: memory (last ten outputs, newest last, flushed);
// out: wsp[0..39].
void weighted_speech(const double* res, const LpVector& ap, std::array<double, 10>& memory,
                     double* wsp);

}  // namespace g729a
