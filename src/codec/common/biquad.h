// One second-order filter section, as the input and output high-pass
// filters run it.
#pragma once

#include "g729a/frame_geometry.h"

namespace g729a {

// y = a1 y1 + a2 y2 + b0 x + b1 x1 + b2 x2, summed in that order; a[0] is
// unused (1) and a[1], a[2] carry the recursion's sign. in: b, a, x;
// inout: memory (x1, x2, y1, y2). Returns y.
inline double biquad_step(const double* b, const double* a, BiquadMemory& memory, double x) {
  double& x1 = memory[0];
  double& x2 = memory[1];
  double& y1 = memory[2];
  double& y2 = memory[3];
  const double y = (a[1] * y1 + a[2] * y2) + b[0] * x + b[1] * x1 + b[2] * x2;
  x2 = x1;
  x1 = x;
  y2 = y1;
  y1 = y;
  return y;
}

}  // namespace g729a
