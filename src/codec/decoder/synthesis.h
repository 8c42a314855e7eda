// The LP synthesis filter 1/A(z) over one subframe.
#pragma once

#include <array>
#include <span>

namespace g729a {

// in: A (a[0] = 1), e[40], flush (store memory values below 2e-5 as 0);
// inout: memory (last 10 outputs, most recent last); out: y[40].
void synthesis_filter(std::span<const double, 11> A, const double* e,
                      std::array<double, 10>& memory, double* y, bool flush);

}  // namespace g729a
