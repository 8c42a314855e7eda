// Joint quantization of the adaptive- and fixed-codebook gains with the
// two-stage gain codebook and the MA prediction of the innovation energy.
#pragma once

#include <array>
#include <cstdint>

namespace g729a {

// in: cw[40] innovation after pitch sharpening at delay t0, t0, g[5] =
// g0..g4 correlations, taming (0/1); inout: memory (gain_predictor_memory,
// newest first); out: *gp, *gc quantized gains. Returns GA*16 + GB.
std::int32_t gain_quantize(std::array<double, 4>& memory, const double* cw, int t0, const double* g,
                           int taming, double* gp, double* gc);

}  // namespace g729a
