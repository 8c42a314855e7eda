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

// in: gamma (the chosen correction factor); inout: memory.
void gain_predictor_update(GainPredictorMemory& memory, double gamma);

}  // namespace g729a
