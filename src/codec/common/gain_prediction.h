// Moving-average prediction of the fixed-codebook gain, kept identically by
// encoder and decoder.
#pragma once

#include <array>

namespace g729a {

// Past quantized gain corrections in dB, index 0 the most recent.
using GainPredictorMemory = std::array<double, 4>;

// in: cv[40] (four unit pulses after pitch sharpening at delay T), T,
// memory; returns the predicted gain 10^(Epred/20).
double predicted_code_gain(const double* cv, int T, const GainPredictorMemory& memory);

// in: i1, i2 (the gain codebooks' chosen rows, whose correction factors
// gain_cb1[i1][1] + gain_cb2[i2][1] make gamma); inout: memory, which takes
// 20 log10 gamma as its newest value.
void gain_predictor_update(GainPredictorMemory& memory, int i1, int i2);

}  // namespace g729a
