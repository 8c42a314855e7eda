#include "codec/common/lp_filter.h"

namespace g729a {

void lp_residual(const LpVector& a, const double* x, double* y, int length) {
  for (int n = 0; n < length; ++n) {
    double v = x[n];
    for (int k = 1; k <= 10; ++k) v += a[k] * x[n - k];
    y[n] = v;
  }
}

void lp_synthesis(const LpVector& a, const double* x, double* y, int length) {
  for (int n = 0; n < length; ++n) {
    double v = x[n];
    for (int k = 1; k <= 10; ++k) v -= a[k] * y[n - k];
    y[n] = v;
  }
}

void synthesize_subframe(const LpVector& a, const double* x, const std::array<double, 10>& past,
                         double* y, std::array<double, 10>* next) {
  std::array<double, 50> buf;  // ten past outputs, then the subframe
  for (int i = 0; i < 10; ++i) buf[i] = past[i];
  lp_synthesis(a, x, buf.data() + 10, 40);
  for (int n = 0; n < 40; ++n) y[n] = buf[10 + n];
  if (next != nullptr) {
    for (int i = 0; i < 10; ++i) (*next)[i] = buf[40 + i];
  }
}

}  // namespace g729a
