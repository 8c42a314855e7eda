#include "codec/common/lp.h"

#include "codec/common/tables.h"

namespace g729a {

double levinson_durbin(std::span<const double, 11> r, LpVector& a, std::span<double, 10> rc) {
  rc[0] = -r[1] / r[0];
  a[0] = 1.0;
  a[1] = rc[0];
  double err = r[0] + r[1] * rc[0];
  for (int i = 2; i <= kLpOrder; ++i) {
    double s = 0.0;
    for (int j = 0; j < i; ++j) s += r[i - j] * a[j];
    const double k = -s / err;
    rc[i - 1] = k;
    for (int j = 1; j <= i / 2; ++j) {
      const int l = i - j;
      const double aj = a[j];
      const double al = a[l];
      a[j] = aj + k * al;
      a[l] = al + k * aj;
    }
    a[i] = k;
    err = err + k * s;
    // Only guard: keeps the next division finite (also catches NaN).
    if (!(err > 0.0)) err = 0.001;
  }
  return err;
}

namespace {

// Value of the fifth-order sum or difference polynomial at x (Chebyshev form).
double chebyshev(double x, const double* f) {
  const double x2 = 2.0 * x;
  double b2 = 1.0;
  double b1 = x2 + f[1];
  for (int k = 2; k <= 4; ++k) {
    const double b0 = x2 * b1 - b2 + f[k];
    b2 = b1;
    b1 = b0;
  }
  return x * b1 - b2 + 0.5 * f[5];
}

}  // namespace

double lsp_root_interpolate(double x_lo, double y_lo, double x_hi, double y_hi) {
  const double denominator = y_hi - y_lo;
  if (denominator == 0.0) return x_lo;  // both ends exactly zero: x_lo is a root
  return x_lo - y_lo * (x_hi - x_lo) / denominator;
}

void lp_to_lsp(const LpVector& a, std::span<const double, 10> previous_lsp,
               std::span<double, 10> lsp) {
  double f1[6], f2[6];
  f1[0] = 1.0;
  f2[0] = 1.0;
  for (int i = 1; i <= 5; ++i) {
    f1[i] = a[i] + a[11 - i] - f1[i - 1];
    f2[i] = a[i] - a[11 - i] + f2[i - 1];
  }

  const double* poly[2] = {f1, f2};
  int current = 0;
  int nf = 0;
  int j = 0;
  double x_lo = lsp_grid[0];
  double y_lo = chebyshev(x_lo, poly[current]);
  double roots[10];
  while (nf < kLpOrder && j < lsp_grid_size - 1) {
    ++j;
    double x_hi = x_lo;
    double y_hi = y_lo;
    x_lo = lsp_grid[j];
    y_lo = chebyshev(x_lo, poly[current]);
    if (y_lo * y_hi <= 0.0) {
      --j;  // the same grid interval is searched again for the other polynomial
      for (int step = 0; step < 2; ++step) {
        const double x_mid = 0.5 * (x_lo + x_hi);
        const double y_mid = chebyshev(x_mid, poly[current]);
        if (y_lo * y_mid <= 0.0) {
          x_hi = x_mid;
          y_hi = y_mid;
        } else {
          x_lo = x_mid;
          y_lo = y_mid;
        }
      }
      const double x_int = lsp_root_interpolate(x_lo, y_lo, x_hi, y_hi);
      roots[nf++] = x_int;
      current ^= 1;
      x_lo = x_int;
      y_lo = chebyshev(x_lo, poly[current]);
    }
  }
  for (int i = 0; i < kLpOrder; ++i) lsp[i] = nf < kLpOrder ? previous_lsp[i] : roots[i];
}

namespace {

// Product expansion of one half (offset 0: even LSPs, 1: odd LSPs).
void lsp_polynomial(std::span<const double, 10> lsp, int offset, double* f) {
  f[0] = 1.0;
  f[1] = -2.0 * lsp[offset];
  for (int i = 2; i <= 5; ++i) {
    const double b = -2.0 * lsp[offset + 2 * (i - 1)];
    f[i] = b * f[i - 1] + 2.0 * f[i - 2];
    for (int j = i - 1; j >= 2; --j) f[j] = f[j] + b * f[j - 1] + f[j - 2];
    f[1] = f[1] + b;
  }
}

}  // namespace

void lsp_to_lp(std::span<const double, 10> lsp, LpVector& a) {
  double f1[6], f2[6];
  lsp_polynomial(lsp, 0, f1);
  lsp_polynomial(lsp, 1, f2);
  for (int i = 5; i >= 1; --i) {
    f1[i] = f1[i] + f1[i - 1];
    f2[i] = f2[i] - f2[i - 1];
  }
  a[0] = 1.0;
  for (int i = 1; i <= 5; ++i) {
    a[i] = 0.5 * (f1[i] + f2[i]);
    a[11 - i] = 0.5 * (f1[i] - f2[i]);
  }
}

void lsp_interpolate(std::span<const double, 10> lsp_previous, std::span<const double, 10> lsp_new,
                     std::array<LpVector, kSubframes>& a) {
  std::array<double, 10> lsp_mid;
  for (int i = 0; i < 10; ++i) lsp_mid[i] = 0.5 * lsp_previous[i] + 0.5 * lsp_new[i];
  lsp_to_lp(lsp_mid, a[0]);
  lsp_to_lp(lsp_new, a[1]);
}

}  // namespace g729a
