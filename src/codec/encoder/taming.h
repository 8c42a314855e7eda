// Taming: tracks an estimate of the excitation error for the four 40-sample
// zones of past delays and limits the pitch gain where it could build up.
#pragma once

#include <array>

namespace g729a {

using TamingError = std::array<double, 4>;  // zone 0 the most recent

inline constexpr double kTamingThreshold = 60000.0;
inline constexpr double kTamedGainLimit = 0.95;

// in: taming_error, t0, fraction; returns 1 when the zones the delay reaches
// hold an error above the threshold, else 0.
int taming_test(const TamingError& taming_error, int t0, int fraction);

// in: quantized gp, integer delay t0; inout: taming_error.
void taming_update(TamingError& taming_error, double gp, int t0);

}  // namespace g729a
