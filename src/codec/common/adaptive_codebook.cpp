#include "codec/common/adaptive_codebook.h"

#include "codec/common/tables.h"

namespace g729a {

void adaptive_codebook_vector(double* exc, int T, int f) {
  const double* h = pitch_interp_filter;
  int u = -f;
  int base = -T;
  if (u < 0) {
    u += 3;
    base = -T - 1;
  }
  for (int n = 0; n < kSubframeLength; ++n) {
    const double* x1 = exc + base + n;
    const double* x2 = x1 + 1;
    double v = 0.0;
    for (int i = 0; i < 10; ++i) v += x1[-i] * h[u + 3 * i] + x2[i] * h[3 - u + 3 * i];
    exc[n] = v;
  }
}

}  // namespace g729a
