#include "codec/maths/portable_math_reference.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

// Double-double arithmetic after Dekker and Knuth: a value is hi + lo with
// |lo| at most half an ulp of hi. The exact products rely on every operation
// rounding to double on its own, which -ffp-contract=off and SSE2 (never
// x87) guarantee.

namespace g729a {

namespace {

struct DD {
  double hi;
  double lo;
};

constexpr DD quick_two_sum(double a, double b) {  // |a| >= |b|
  const double s = a + b;
  return {s, b - (s - a)};
}

constexpr DD two_sum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

constexpr DD split(double a) {
  const double t = 134217729.0 * a;  // 2^27 + 1
  const double hi = t - (t - a);
  return {hi, a - hi};
}

constexpr DD two_prod(double a, double b) {
  const double p = a * b;
  const DD as = split(a);
  const DD bs = split(b);
  return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

constexpr DD add(DD a, DD b) {
  DD s = two_sum(a.hi, b.hi);
  const DD t = two_sum(a.lo, b.lo);
  s = quick_two_sum(s.hi, s.lo + t.hi);
  return quick_two_sum(s.hi, s.lo + t.lo);
}

constexpr DD neg(DD a) {
  return {-a.hi, -a.lo};
}

constexpr DD mul(DD a, DD b) {
  const DD p = two_prod(a.hi, b.hi);
  return quick_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

constexpr DD mul(DD a, double b) {
  const DD p = two_prod(a.hi, b);
  return quick_two_sum(p.hi, p.lo + a.lo * b);
}

constexpr DD div(DD a, double b) {
  const double q1 = a.hi / b;
  const DD p = two_prod(q1, b);
  const DD s = two_sum(a.hi, -p.hi);
  const double q2 = (s.hi + ((s.lo - p.lo) + a.lo)) / b;
  return quick_two_sum(q1, q2);
}

constexpr DD div(DD a, DD b) {
  const double q1 = a.hi / b.hi;
  DD r = add(a, neg(mul(b, q1)));
  const double q2 = r.hi / b.hi;
  r = add(r, neg(mul(b, q2)));
  const double q3 = r.hi / b.hi;
  const DD q = quick_two_sum(q1, q2);
  return add(q, DD{q3, 0.0});
}

DD sqrt_dd(double a) {            // a > 0
  const double s = std::sqrt(a);  // correctly rounded on every IEEE target
  const DD p = two_prod(s, s);
  return quick_two_sum(s, ((a - p.hi) - p.lo) / (2.0 * s));
}

// pi/2, ln 2 to about 160 bits and ln 10, 1/ln 10 to about 106 bits.
constexpr double kHalfPi[3] = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54,
                               -0x1.f1976b7ed8fbcp-110};
constexpr double kLn2[3] = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56, 0x1.7b57a079a1934p-111};
constexpr DD kLn10 = {0x1.26bb1bbb55516p+1, -0x1.f48ad494ea3e9p-53};
constexpr DD kInvLn10 = {0x1.bcb7b1526e50ep-2, 0x1.95355baaafad3p-57};
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// Series coefficients from exact integer ratios, evaluated by the compiler.
// 1/n! for exp; (-1)^n/(2n)! and (-1)^n/(2n+1)! for cos and sin; the arcsine
// series (2n)!/(4^n (n!)^2 (2n+1)); 1/(2n+1) for the atanh form of the log.
constexpr int kExpTerms = 26;    // |r| <= ln2/2: 0.35^26/26! < 2^-120
constexpr int kTrigTerms = 16;   // |r| <= pi/4: 0.79^32/32! < 2^-120
constexpr int kAsinTerms = 56;   // t <= 1/2: 0.25^56 < 2^-110
constexpr int kAtanhTerms = 24;  // z^2 <= 0.0295: 0.0295^24 < 2^-120

template <int N>
constexpr std::array<DD, N> exp_coefficients() {
  std::array<DD, N> c{};
  c[0] = {1.0, 0.0};
  for (int n = 1; n < N; ++n) c[n] = div(c[n - 1], static_cast<double>(n));
  return c;
}

template <int N>
constexpr std::array<DD, N> cos_coefficients() {
  std::array<DD, N> c{};
  c[0] = {1.0, 0.0};
  for (int n = 1; n < N; ++n) c[n] = neg(div(c[n - 1], static_cast<double>((2 * n - 1) * (2 * n))));
  return c;
}

template <int N>
constexpr std::array<DD, N> sin_coefficients() {
  std::array<DD, N> c{};
  c[0] = {1.0, 0.0};
  for (int n = 1; n < N; ++n) c[n] = neg(div(c[n - 1], static_cast<double>((2 * n) * (2 * n + 1))));
  return c;
}

template <int N>
constexpr std::array<DD, N> asin_coefficients() {
  std::array<DD, N> c{};
  c[0] = {1.0, 0.0};
  for (int n = 1; n < N; ++n) {
    const double odd = 2 * n - 1;
    c[n] = div(mul(c[n - 1], odd * odd), static_cast<double>((2 * n) * (2 * n + 1)));
  }
  return c;
}

template <int N>
constexpr std::array<DD, N> atanh_coefficients() {
  std::array<DD, N> c{};
  for (int n = 0; n < N; ++n) c[n] = div(DD{1.0, 0.0}, static_cast<double>(2 * n + 1));
  return c;
}

constexpr auto kExpCoef = exp_coefficients<kExpTerms>();
constexpr auto kCosCoef = cos_coefficients<kTrigTerms>();
constexpr auto kSinCoef = sin_coefficients<kTrigTerms>();
constexpr auto kAsinCoef = asin_coefficients<kAsinTerms>();
constexpr auto kAtanhCoef = atanh_coefficients<kAtanhTerms>();

// sum c[n] x^n by Horner's rule: the first `head` terms in double-double,
// the small rest in double (it only has to be good to a few bits beyond
// double precision, see rounded()). head = N evaluates everything in
// double-double.
template <std::size_t N>
DD series(const std::array<DD, N>& c, DD x, std::size_t head) {
  double tail = 0.0;
  for (std::size_t n = N; n-- > head;) tail = tail * x.hi + c[n].hi;
  DD acc{tail, 0.0};
  for (std::size_t n = head; n-- > 0;) acc = add(mul(acc, x), c[n]);
  return acc;
}

// Terms kept in double-double on the quick pass: what is left is below 2^-13
// of the sum, so evaluating it in double costs less than 2^-64 of the result.
constexpr std::size_t kQuickExpHead = 6;    // 0.35^6/6! < 2^-18
constexpr std::size_t kQuickTrigHead = 4;   // 0.62^4/8! < 2^-18
constexpr std::size_t kQuickAsinHead = 6;   // 0.25^6 c_6 < 2^-17
constexpr std::size_t kQuickAtanhHead = 3;  // 0.0295^3/7 < 2^-18
// Bound on the quick pass's relative error, with a wide margin.
constexpr double kQuickError = 0x1p-62;

// True when hi is the double nearest to every value within rel_error of
// hi + lo, so rounding the exact value gives hi as well.
bool rounds_safely(DD v, double rel_error) {
  if (v.hi == 0.0) return v.lo == 0.0;
  // The neighbours of hi away from and towards zero.
  const auto bits = std::bit_cast<std::uint64_t>(v.hi);
  const double away = std::fabs(std::bit_cast<double>(bits + 1) - v.hi);
  const double towards = std::fabs(v.hi - std::bit_cast<double>(bits - 1));
  const double half_gap = 0.5 * (away < towards ? away : towards);
  return std::fabs(v.lo) + std::fabs(v.hi) * rel_error < half_gap;
}

// The result of f(quick) when the quick pass decides the rounding, else of
// f(precise), which carries about 104 bits throughout.
template <typename F>
double rounded(F f) {
  const DD quick = f(true);
  if (rounds_safely(quick, kQuickError)) return quick.hi;
  return f(false).hi;
}

DD asin_dd(DD t, bool quick) {  // 0 <= t <= 1/2
  return mul(t, series(kAsinCoef, mul(t, t), quick ? kQuickAsinHead : kAsinTerms));
}

// exp(y) = 2^k exp(r) with r = y - k ln 2 and |r| <= ln 2 / 2.
double exp_dd(DD y) {
  const double k = std::nearbyint(y.hi / kLn2[0]);
  DD r = add(y, neg(two_prod(k, kLn2[0])));
  r = add(r, neg(two_prod(k, kLn2[1])));
  r = add(r, DD{-k * kLn2[2], 0.0});
  const double e =
      rounded([&](bool quick) { return series(kExpCoef, r, quick ? kQuickExpHead : kExpTerms); });
  return std::ldexp(e, static_cast<int>(k));
}

}  // namespace

double portable_cos_reference(double x) {
  // x = k pi/2 + r with |r| <= pi/4 (a little more where x sits on a boundary).
  const double k = std::nearbyint(x * kTwoOverPi);
  DD r = add(DD{x, 0.0}, neg(two_prod(k, kHalfPi[0])));
  r = add(r, neg(two_prod(k, kHalfPi[1])));
  r = add(r, DD{-k * kHalfPi[2], 0.0});
  const DD r2 = mul(r, r);
  const long quadrant = static_cast<long>(std::fmod(k, 4.0) + 4.0) % 4;
  return rounded([&](bool quick) {
    const std::size_t head = quick ? kQuickTrigHead : kTrigTerms;
    switch (quadrant) {
      case 0:
        return series(kCosCoef, r2, head);
      case 1:
        return neg(mul(r, series(kSinCoef, r2, head)));
      case 2:
        return neg(series(kCosCoef, r2, head));
      default:
        return mul(r, series(kSinCoef, r2, head));
    }
  });
}

double portable_acos_reference(double x) {
  if (x >= 1.0) return 0.0;
  // pi = 2 (pi/2); doubling is exact.
  const DD half_pi = quick_two_sum(kHalfPi[0], kHalfPi[1]);
  if (x <= -1.0) return mul(half_pi, 2.0).hi;
  return rounded([&](bool quick) {
    if (x > 0.5) {
      // acos x = 2 asin(sqrt((1 - x)/2)); 1 - x is exact here.
      return mul(asin_dd(sqrt_dd((1.0 - x) * 0.5), quick), 2.0);
    }
    if (x < -0.5) {
      // acos x = pi - 2 asin(sqrt((1 + x)/2)).
      return add(mul(half_pi, 2.0), neg(mul(asin_dd(sqrt_dd((1.0 + x) * 0.5), quick), 2.0)));
    }
    return add(half_pi, neg(asin_dd(DD{x, 0.0}, quick)));
  });
}

double portable_log10_reference(double x) {
  // x = m 2^e with m in [sqrt(1/2), sqrt(2)); ln m = 2 atanh((m - 1)/(m + 1)).
  int e = 0;
  double m = std::frexp(x, &e);
  if (m < 0x1.6a09e667f3bcdp-1) {  // sqrt(1/2)
    m *= 2.0;
    --e;
  }
  const DD z = div(DD{m - 1.0, 0.0}, two_sum(m, 1.0));  // m - 1 is exact
  const DD z2 = mul(z, z);
  const double ed = e;
  const DD e_ln2 = add(two_prod(ed, kLn2[0]), two_prod(ed, kLn2[1]));
  return rounded([&](bool quick) {
    const DD ln_m = mul(mul(z, series(kAtanhCoef, z2, quick ? kQuickAtanhHead : kAtanhTerms)), 2.0);
    return mul(add(e_ln2, ln_m), kInvLn10);
  });
}

double portable_exp10_reference(double x) {
  const DD y = add(two_prod(x, kLn10.hi), DD{x * kLn10.lo, 0.0});
  return exp_dd(y);
}

}  // namespace g729a
