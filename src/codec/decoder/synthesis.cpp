#include "codec/decoder/synthesis.h"

#include "codec/common/lp_filter.h"
#include "codec/common/numeric.h"

namespace g729a {

void synthesis_filter(const LpVector& A, const double* e, std::array<double, 10>& memory, double* y,
                      bool flush) {
  synthesize_subframe(A, e, memory, y, &memory);
  if (flush) flush_memory(memory);
}

}  // namespace g729a
