#include "codec/common/lp.h"

#include <cstdint>
#include <cstring>

#include "codec/common/tables.h"
#include "codec/simd/simd.h"

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

// Value of the fifth-order sum or difference polynomial at x (Chebyshev form),
// for one x or, element-wise, for a lane vector of them (passed by
// reference: no calling convention depends on the target). out: value.
template <class T>
[[gnu::always_inline]] inline void chebyshev_value(const T& x, const double* f, T& value) {
  const T x2 = 2.0 * x;
  T b2 = T{} + 1.0;
  T b1 = x2 + f[1];
  for (int k = 2; k <= 4; ++k) {
    const T b0 = x2 * b1 - b2 + f[k];
    b2 = b1;
    b1 = b0;
  }
  value = x * b1 - b2 + 0.5 * f[5];
}

double chebyshev(double x, const double* f) {
  double value;
  chebyshev_value(x, f, value);
  return value;
}

// values[c][k] = chebyshev(lsp_grid[k], f[c]) for both polynomials, the
// grid points W at a time (the last group overlaps the one before).
template <int W>
[[gnu::always_inline]] inline void grid_values(const double* const* f, double (*values)[64]) {
  constexpr int kGrid = lsp_grid_size;
  using V = typename LaneVector<W>::type;
  for (int c = 0; c < 2; ++c) {
    for (int k0 = 0; k0 < kGrid; k0 += W) {
      const int k = k0 + W <= kGrid ? k0 : kGrid - W;
      V x;
      std::memcpy(&x, lsp_grid + k, sizeof x);
      V v;
      chebyshev_value(x, f[c], v);
      std::memcpy(values[c] + k, &v, sizeof v);
    }
  }
}

void grid_values_scalar(const double* const* f, double (*values)[64]) {
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < lsp_grid_size; ++k) values[c][k] = chebyshev(lsp_grid[k], f[c]);
  }
}

#if defined(G729A_HAVE_SSE2)
void grid_values_sse2(const double* const* f, double (*values)[64]) {
  grid_values<2>(f, values);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void grid_values_avx2(const double* const* f, double (*values)[64]) {
  grid_values<4>(f, values);
}
#endif

void all_grid_values(const double* const* f, double (*values)[64]) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return grid_values_avx2(f, values);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return grid_values_sse2(f, values);
#endif
  grid_values_scalar(f, values);
}

// One bisection step's choice: [x_lo, x_m] when `lower` (the sign changes
// below the midpoint x_m), else [x_m, x_hi]. The choice indexes small
// tables: a compiler turns a select of doubles into a branch, which each
// root would mispredict half the time. inout: the interval's ends.
[[gnu::always_inline]] inline void keep_half(int lower, double x_m, double y_m, double& x_lo,
                                             double& y_lo, double& x_hi, double& y_hi) {
  const double xl[2] = {x_m, x_lo}, yl[2] = {y_m, y_lo};
  const double xh[2] = {x_hi, x_m}, yh[2] = {y_hi, y_m};
  x_lo = xl[lower];
  y_lo = yl[lower];
  x_hi = xh[lower];
  y_hi = yh[lower];
}

}  // namespace

double lsp_root_interpolate(double x_lo, double y_lo, double x_hi, double y_hi) {
  const double denominator = y_hi - y_lo;
  if (denominator == 0.0) return x_lo;  // both ends exactly zero: x_lo is a root
  return x_lo - y_lo * (x_hi - x_lo) / denominator;
}

namespace {

constexpr int kGrid = lsp_grid_size;
static_assert(kGrid <= 64);

// The root of polynomial f in [x_lo, x_hi] (the sign changes there): two
// bisection steps, the three points either path can visit evaluated side
// by side, then the path chosen; then linear interpolation.
double bisect_root(const double* f, double x_lo, double y_lo, double x_hi, double y_hi) {
  const double x_mid = 0.5 * (x_lo + x_hi);
  const double x_low_half = 0.5 * (x_lo + x_mid);
  const double x_high_half = 0.5 * (x_mid + x_hi);
  const double y_mid = chebyshev(x_mid, f);
  const double y_low_half = chebyshev(x_low_half, f);
  const double y_high_half = chebyshev(x_high_half, f);
  const int lower = y_lo * y_mid <= 0.0;  // 1: the root is below x_mid
  keep_half(lower, x_mid, y_mid, x_lo, y_lo, x_hi, y_hi);
  const double xq[2] = {x_high_half, x_low_half}, yq[2] = {y_high_half, y_low_half};
  const double x_q = xq[lower];
  const double y_q = yq[lower];
  keep_half(y_lo * y_q <= 0.0, x_q, y_q, x_lo, y_lo, x_hi, y_hi);
  return lsp_root_interpolate(x_lo, y_lo, x_hi, y_hi);
}

// Where the grid scan stands: roots found, the polynomial searched, the
// grid interval, and whether that interval's upper end is the last root.
struct RootScan {
  int nf = 0;
  int current = 0;
  int j = 0;
  bool after_root = false;
  double x_root = 0.0;
  double y_root = 0.0;
  double roots[kLpOrder];
};

// The scan from where it stands to its end. in: poly, values, changes;
// inout: s.
void continue_scan(const double* const* poly, const double (*values)[64],
                   const std::uint64_t* changes, RootScan& s) {
  while (s.nf < kLpOrder && s.j < kGrid - 1) {
    ++s.j;
    double x_hi;
    double y_hi;
    if (s.after_root) {
      s.after_root = false;
      x_hi = s.x_root;
      y_hi = s.y_root;
      if (!(values[s.current][s.j] * y_hi <= 0.0)) continue;
    } else {
      const std::uint64_t ahead = changes[s.current] >> s.j << s.j;
      if (ahead == 0) break;
      s.j = __builtin_ctzll(ahead);
      x_hi = lsp_grid[s.j - 1];
      y_hi = values[s.current][s.j - 1];
    }
    const double x_lo = lsp_grid[s.j];
    const double y_lo = values[s.current][s.j];
    --s.j;  // the same grid interval is searched again for the other polynomial
    s.x_root = bisect_root(poly[s.current], x_lo, y_lo, x_hi, y_hi);
    s.roots[s.nf++] = s.x_root;
    s.current ^= 1;
    s.y_root = chebyshev(s.x_root, poly[s.current]);
    s.after_root = true;
  }
}

}  // namespace

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

  // The scan walks the grid comparing each polynomial's value at one point
  // with its value at the previous one (or at the root just found). The
  // grid values do not depend on the roots, so both polynomials are
  // evaluated at every point up front, and the intervals whose ends differ
  // in sign (product <= 0, as the scan tests it) become bits to search:
  // the scan then costs no mispredicted branch per grid point.
  alignas(32) double values[2][64];
  all_grid_values(poly, values);
  std::uint64_t changes[2] = {0, 0};  // bit k: interval (k - 1, k)
  for (int c = 0; c < 2; ++c) {
    for (int k = 1; k < kGrid; ++k) {
      changes[c] |= static_cast<std::uint64_t>(values[c][k] * values[c][k - 1] <= 0.0) << k;
    }
  }

  // Each root waits for the last one only through the test in the root's
  // own interval, with the other polynomial's value at the root. Where that
  // polynomial's ends in the interval share their sign, the test almost
  // always fails and the scan goes on at the next grid interval. So the
  // scan is first planned on that assumption from the bits alone, the
  // planned roots, whose intervals are then whole grid intervals, are found
  // independently of each other, and the assumption is checked with the
  // scan's own test; from the first root where it does not hold (or where
  // the other polynomial changes sign too) the scan itself goes on.
  int interval[kLpOrder];
  int poly_of[kLpOrder];
  int planned = 0;
  for (int current = 0, j = 1; planned < kLpOrder;) {
    const std::uint64_t ahead = j < 64 ? changes[current] >> j << j : 0;
    if (ahead == 0) break;
    const int k = __builtin_ctzll(ahead);
    interval[planned] = k;
    poly_of[planned++] = current;
    if ((changes[current ^ 1] >> k) & 1) break;
    current ^= 1;
    j = k + 1;
  }
  RootScan s;
  for (int i = 0; i < planned; ++i) {
    const int k = interval[i];
    const int c = poly_of[i];
    s.roots[i] = bisect_root(poly[c], lsp_grid[k], values[c][k], lsp_grid[k - 1], values[c][k - 1]);
  }
  s.nf = planned;
  // The tenth root ends the scan; after any other the test decides, and
  // after the plan's last one the scan itself goes on.
  for (int i = 0; i + 1 < kLpOrder && i < planned; ++i) {
    const int other = poly_of[i] ^ 1;
    const double y_root = chebyshev(s.roots[i], poly[other]);
    if (i + 1 == planned || values[other][interval[i]] * y_root <= 0.0) {
      // The scan as it stands after root i.
      s.nf = i + 1;
      s.current = other;
      s.j = interval[i] - 1;
      s.after_root = true;
      s.x_root = s.roots[i];
      s.y_root = y_root;
      continue_scan(poly, values, changes, s);
      break;
    }
  }
  for (int i = 0; i < kLpOrder; ++i) lsp[i] = s.nf < kLpOrder ? previous_lsp[i] : s.roots[i];
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

namespace {

// The sum and difference polynomials' coefficients to the LP vector.
// in: f1, f2 (both overwritten); out: a.
void combine_polynomials(double* f1, double* f2, LpVector& a) {
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

// lsp_to_lp for W / 2 LSP vectors side by side: lane 2m holds the sum
// polynomial of lsp[m], lane 2m + 1 its difference polynomial, each lane
// doing the scalar operations in their order (x - y is x + (-y) exactly,
// so one sign vector serves both kinds of lane). out: a[0 .. W/2 - 1].
template <int W>
[[gnu::always_inline]] inline void lsp_to_lp_lanes(const double* const* lsp, LpVector* a) {
  using V = typename LaneVector<W>::type;
  V b[5];  // -2 lsp at the polynomial's k-th position
  V sign;
  for (int k = 0; k < 5; ++k) {
    alignas(32) double gathered[W];
    for (int l = 0; l < W; ++l) gathered[l] = lsp[l / 2][l % 2 + 2 * k];
    std::memcpy(&b[k], gathered, sizeof b[k]);
    b[k] = -2.0 * b[k];
  }
  alignas(32) double signs[W];
  for (int l = 0; l < W; ++l) signs[l] = l % 2 == 0 ? 1.0 : -1.0;
  std::memcpy(&sign, signs, sizeof sign);

  V c[6] = {};
  for (int l = 0; l < W; ++l) c[0][l] = 1.0;
  c[1] = b[0];
  for (int i = 2; i <= 5; ++i) {
    const V bi = b[i - 1];
    c[i] = bi * c[i - 1] + 2.0 * c[i - 2];
    for (int j = i - 1; j >= 2; --j) c[j] = c[j] + bi * c[j - 1] + c[j - 2];
    c[1] = c[1] + bi;
  }
  for (int l = 0; l < W; l += 2) a[l / 2][0] = 1.0;
  for (int i = 5; i >= 1; --i) {
    const V d = c[i] + sign * c[i - 1];
    V swapped;
    if constexpr (W == 4) {
      swapped = __builtin_shufflevector(d, d, 1, 0, 3, 2);
    } else {
      swapped = __builtin_shufflevector(d, d, 1, 0);
    }
    const V sum = 0.5 * (d + swapped);         // lane 2m: f1 + f2
    const V difference = 0.5 * (d - swapped);  // lane 2m: f1 - f2
    for (int l = 0; l < W; l += 2) {
      a[l / 2][i] = sum[l];
      a[l / 2][11 - i] = difference[l];
    }
  }
}

// Both subframes' vectors, four polynomials side by side on AVX2.
template <int W>
[[gnu::always_inline]] inline void lsp_pair_to_lp(const double* lsp_mid, const double* lsp_new,
                                                  std::array<LpVector, kSubframes>& a) {
  const double* sources[2] = {lsp_mid, lsp_new};
  for (int first = 0; first < 2; first += W / 2) lsp_to_lp_lanes<W>(sources + first, &a[first]);
}

#if defined(G729A_HAVE_SSE2)
void lsp_pair_to_lp_sse2(const double* lsp_mid, const double* lsp_new,
                         std::array<LpVector, kSubframes>& a) {
  lsp_pair_to_lp<2>(lsp_mid, lsp_new, a);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void lsp_pair_to_lp_avx2(const double* lsp_mid, const double* lsp_new,
                                    std::array<LpVector, kSubframes>& a) {
  lsp_pair_to_lp<4>(lsp_mid, lsp_new, a);
}
#endif

}  // namespace

void lsp_to_lp(std::span<const double, 10> lsp, LpVector& a) {
  double f1[6], f2[6];
  lsp_polynomial(lsp, 0, f1);
  lsp_polynomial(lsp, 1, f2);
  combine_polynomials(f1, f2, a);
}

void lsp_interpolate(std::span<const double, 10> lsp_previous, std::span<const double, 10> lsp_new,
                     std::array<LpVector, kSubframes>& a) {
  std::array<double, 10> lsp_mid;
  for (int i = 0; i < 10; ++i) lsp_mid[i] = 0.5 * lsp_previous[i] + 0.5 * lsp_new[i];
    // The four polynomials are independent: side by side where vectors allow.
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return lsp_pair_to_lp_avx2(lsp_mid.data(), lsp_new.data(), a);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return lsp_pair_to_lp_sse2(lsp_mid.data(), lsp_new.data(), a);
#endif
  lsp_to_lp(lsp_mid, a[0]);
  lsp_to_lp(lsp_new, a[1]);
}

}  // namespace g729a
