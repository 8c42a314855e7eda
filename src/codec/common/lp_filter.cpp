#include "codec/common/lp_filter.h"

namespace g729a {

void lp_residual(std::span<const double, 11> a, const double* x, double* y, int length) {
  for (int n = 0; n < length; ++n) {
    double v = x[n];
    for (int k = 1; k <= 10; ++k) v += a[k] * x[n - k];
    y[n] = v;
  }
}

void lp_synthesis(std::span<const double, 11> a, const double* x, double* y, int length) {
  for (int n = 0; n < length; ++n) {
    double v = x[n];
    for (int k = 1; k <= 10; ++k) v -= a[k] * y[n - k];
    y[n] = v;
  }
}

}  // namespace g729a
