#include "codec/decoder/synthesis.h"

#include "codec/common/lp_filter.h"
#include "codec/common/numeric.h"

namespace g729a {

void synthesis_filter(std::span<const double, 11> A, const double* e,
                      std::array<double, 10>& memory, double* y, bool flush) {
  std::array<double, 50> buf;  // ten past outputs, then the subframe
  for (int i = 0; i < 10; ++i) buf[i] = memory[i];
  double* out = buf.data() + 10;
  lp_synthesis(A, e, out, 40);
  for (int n = 0; n < 40; ++n) y[n] = out[n];
  for (int i = 0; i < 10; ++i) memory[i] = flush ? flush_small(out[30 + i]) : out[30 + i];
}

}  // namespace g729a
