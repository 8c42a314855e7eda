#include "codec/decoder/synthesis.h"

#include "codec/common/numeric.h"

namespace g729a {

void keep_synthesis_memory(std::span<const double, 10> last, bool flush,
                           std::array<double, 10>& memory) {
  for (int i = 0; i < 10; ++i) memory[i] = flush ? flush_small(last[i]) : last[i];
}

}  // namespace g729a
