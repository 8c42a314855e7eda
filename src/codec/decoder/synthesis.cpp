#include "codec/decoder/synthesis.h"

#include "codec/common/numeric.h"

namespace g729a {

void synthesis_filter(std::span<const double, 11> A, const double* e,
                      std::array<double, 10>& memory, double* y, bool flush) {
  std::array<double, 50> buf;
  for (int i = 0; i < 10; ++i) buf[i] = memory[i];
  double* out = buf.data() + 10;
  for (int n = 0; n < 40; ++n) {
    double v = e[n];
    for (int k = 1; k <= 10; ++k) v -= A[k] * out[n - k];
    out[n] = v;
    y[n] = v;
  }
  for (int i = 0; i < 10; ++i) memory[i] = flush ? flush_small(out[30 + i]) : out[30 + i];
}

}  // namespace g729a
