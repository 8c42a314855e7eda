// The LP synthesis filter 1/A(z) over one subframe.
#pragma once

#include <array>
#include <span>

#include "g729a/frame_geometry.h"

namespace g729a {

// in: A (a[0] = 1), e[40], flush (store memory values below 2e-5 as 0);
// inout: memory (last 10 outputs, most recent last); out: y[40].
void synthesis_filter(const LpVector& A, const double* e, std::array<double, 10>& memory, double* y,
                      bool flush);

}  // namespace g729a
