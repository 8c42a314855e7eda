// What the LP synthesis filter 1/A(z) carries from one subframe to the next.
#pragma once

#include <array>
#include <span>

#include "g729a/frame_geometry.h"

namespace g729a {

// The last ten outputs of a subframe become the filter's memory; speech
// subframes store values below 2e-5 as 0 (flush), comfort-noise ones keep
// them. in: last (oldest first), flush; out: memory.
void keep_synthesis_memory(std::span<const double, 10> last, bool flush,
                           std::array<double, 10>& memory);

}  // namespace g729a
