#include "codec/common/portable_math.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "codec/common/portable_math_reference.h"
#include "codec/common/portable_math_tables.h"

// Fast paths: start from a tabulated grid point near the argument, so a short
// series in double finishes the job, and keep the large leading terms exact
// with Dekker's products. Each path bounds its own error and returns only
// when that bound cannot move the rounding; otherwise (and outside the
// ranges the tables cover) it hands over to the reference evaluation. So the
// result is the reference's double for every input.

namespace g729a {

namespace {

using namespace portable_math_tables;

struct DD {
  double hi;
  double lo;
};

DD quick_two_sum(double a, double b) {  // |a| >= |b|
  const double s = a + b;
  return {s, b - (s - a)};
}

DD two_sum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

DD split(double a) {
  const double t = 134217729.0 * a;  // 2^27 + 1
  const double hi = t - (t - a);
  return {hi, a - hi};
}

DD two_prod(double a, double b) {
  const double p = a * b;
  const DD as = split(a);
  const DD bs = split(b);
  return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

DD add(DD a, DD b) {
  DD s = two_sum(a.hi, b.hi);
  const DD t = two_sum(a.lo, b.lo);
  s = quick_two_sum(s.hi, s.lo + t.hi);
  return quick_two_sum(s.hi, s.lo + t.lo);
}

// Error bound of a fast path: 2^-64 of the result covers the tables (2^-106),
// the dropped series terms (below 2^-75) and the roundings of the exact parts;
// 2^-47 of the tail evaluated in plain double covers its dozen roundings with
// a margin of 8.
double error_bound(double hi, double tail) {
  return 0x1p-64 * std::fabs(hi) + 0x1p-47 * std::fabs(tail);
}

// True when hi is the double nearest to every value within err of hi + lo:
// rounding is monotonic, so it is enough that both ends round to hi. err
// carries a margin far above the rounding of lo +- err.
bool decided(DD v, double err) {
  return v.hi + (v.lo + err) == v.hi && v.hi + (v.lo - err) == v.hi;
}

DD sqrt_dd(double a) {  // a > 0
  const double s = std::sqrt(a);
  const DD p = two_prod(s, s);
  return quick_two_sum(s, ((a - p.hi) - p.lo) / (2.0 * s));
}

struct Approx {
  DD v;
  double tail;  // the part evaluated in plain double, for error_bound
};

// asin(i/kAsinStep + dh + dl) for |dh| up to about 2^-8.
Approx asin_near(int i, double dh, double dl) {
  const AsinPoint& p = kAsin[i];
  double poly = p.a[kAsinTerms - 3];
  for (int k = kAsinTerms - 4; k >= 0; --k) poly = poly * dh + p.a[k];
  const double tail = poly * dh * dh;
  const DD q = two_prod(p.a1.hi, dh);
  const DD s = two_sum(p.a0.hi, q.hi);
  // dl enters through a_1 and, at 2^-62 of the result still, through a_2.
  const double small = p.a0.lo + ((p.a1.hi + 2.0 * p.a[0] * dh) * dl + p.a1.lo * dh);
  const double lo = ((s.lo + q.lo) + small) + tail;
  return {two_sum(s.hi, lo), tail};
}

}  // namespace

double portable_cos(double x) {
  const double ax = std::fabs(x);
  if (!(ax < static_cast<double>(kCosCount - 1) / kCosStep)) return portable_cos_reference(x);
  // ax = a + r with a on the grid and |r| <= 2^-8; r is exact.
  const int i = static_cast<int>(ax * kCosStep + 0.5);
  const double r = ax - static_cast<double>(i) / kCosStep;
  const CosSin& t = kCosSin[i];
  const double r2 = r * r;
  const double one_minus_cos = r2 * (0.5 - r2 * (1.0 / 24 - r2 * (1.0 / 720)));
  const double r_minus_sin = r * r2 * (1.0 / 6 - r2 * (1.0 / 120 - r2 * (1.0 / 5040)));
  // cos(a + r) = C - S r - C (1 - cos r) + S (r - sin r).
  const double c_part = t.c.hi * one_minus_cos;
  const double s_part = t.s.hi * r_minus_sin;
  const DD p = two_prod(t.s.hi, r);
  const DD s = two_sum(t.c.hi, -p.hi);
  const double lo = ((s.lo - p.lo) + (t.c.lo - t.s.lo * r)) + (s_part - c_part);
  const DD v = two_sum(s.hi, lo);
  // Near pi/2 the result is small and the roundings of the exact parts are
  // not; 2^-100 covers them.
  const double err = error_bound(v.hi, std::fabs(c_part) + std::fabs(s_part)) + 0x1p-100;
  return decided(v, err) ? v.hi : portable_cos_reference(x);
}

double portable_acos(double x) {
  const double ax = std::fabs(x);
  if (!(ax < 1.0)) return portable_acos_reference(x);
  DD v;
  double tail;
  if (ax <= 0.5) {
    // acos x = pi/2 - asin x.
    const int i = static_cast<int>(ax * kAsinStep + 0.5);
    const Approx a = asin_near(i, ax - static_cast<double>(i) / kAsinStep, 0.0);
    const DD half_pi = {kHalfPi.hi, kHalfPi.lo};
    v = add(half_pi, x >= 0.0 ? DD{-a.v.hi, -a.v.lo} : a.v);
    tail = a.tail;
  } else {
    // acos |x| = 2 asin(sqrt((1 - |x|)/2)); 1 - |x| is exact here.
    const DD s = sqrt_dd((1.0 - ax) * 0.5);
    const int i = static_cast<int>(s.hi * kAsinStep + 0.5);
    const Approx a = asin_near(i, s.hi - static_cast<double>(i) / kAsinStep, s.lo);
    const DD twice = {2.0 * a.v.hi, 2.0 * a.v.lo};
    v = x > 0.0 ? twice : add(DD{kPi.hi, kPi.lo}, DD{-twice.hi, -twice.lo});
    tail = 2.0 * a.tail;
  }
  return decided(v, error_bound(v.hi, tail)) ? v.hi : portable_acos_reference(x);
}

double portable_log10(double x) {
  const auto bits = std::bit_cast<std::uint64_t>(x);
  const int field = static_cast<int>(bits >> 52);  // the sign bit too
  if (field == 0 || field >= 0x7ff) return portable_log10_reference(x);
  // x = m 2^e with m in [sqrt(1/2), sqrt(2)].
  int e = field - 1023;
  double m = std::bit_cast<double>((bits & 0xfffffffffffffull) | 0x3ff0000000000000ull);
  if (m > 0x1.6a09e667f3bcdp+0) {
    m *= 0.5;
    ++e;
  }
  // m inv = 1 + z with |z| below 2^-7.4; m inv - 1 is exact in two parts.
  const int i = static_cast<int>(m * kLogStep + 0.5);
  const LogPoint& p = kLog[i - kLogFirst];
  const DD mi = two_prod(m, p.inv);
  const double zh = mi.hi - 1.0;
  const double zl = mi.lo;
  const double z = zh + zl;
  // ln(1 + z) - z, through z^11/11.
  const double poly =
      -0.5 +
      z * (1.0 / 3 +
           z * (-0.25 + z * (0.2 + z * (-1.0 / 6 +
                                        z * (1.0 / 7 +
                                             z * (-0.125 +
                                                  z * (1.0 / 9 + z * (-0.1 + z * (1.0 / 11)))))))));
  const double tail = poly * z * z * kInvLn10.hi;
  // log10 x = e log10 2 - log10 inv + ln(1 + z) / ln 10.
  const double ed = e;
  const DD lin = two_prod(kInvLn10.hi, zh);
  const DD s1 = two_sum(ed * kLog10Of2[0], p.mlog10.hi);
  const DD s2 = two_sum(s1.hi, lin.hi);
  const double small = (ed * kLog10Of2[1] + ed * kLog10Of2[2]) + p.mlog10.lo +
                       (lin.lo + (kInvLn10.hi * zl + kInvLn10.lo * zh));
  const DD v = two_sum(s2.hi, ((s1.lo + s2.lo) + small) + tail);
  return decided(v, error_bound(v.hi, tail)) ? v.hi : portable_log10_reference(x);
}

double portable_exp10(double x) {
  if (!(std::fabs(x) < 300.0)) return portable_exp10_reference(x);
  // x ln 10 = k ln 2 / kExpStep + r with |r| <= 2^-7.5, r in two parts.
  const DD y = two_prod(x, kLn10[0]);
  const double yl = y.lo + x * kLn10[1];
  // Rounds to an integer: adding 1.5 2^52 leaves no fraction bits.
  constexpr double kRound = 0x1.8p+52;
  const double kd = (y.hi * kStepsPerLn + kRound) - kRound;
  const double t1 = y.hi - kd * kLn2Step[0];  // exact: close operands, exact product
  const DD r0 = two_sum(t1, -kd * kLn2Step[1]);
  const DD r = two_sum(r0.hi, r0.lo + (yl - kd * kLn2Step[2]));
  // exp(r) - 1 - r, through r^8/8!.
  const double rh = r.hi;
  const double poly =
      rh * rh *
      (0.5 +
       rh * (1.0 / 6 + rh * (1.0 / 24 + rh * (1.0 / 120 +
                                              rh * (1.0 / 720 + rh * (1.0 / 5040 + rh / 40320))))));
  const double er = poly + rh * r.lo;
  const int k = static_cast<int>(kd);
  const DDPair& t = kExp2[k & (kExpStep - 1)];
  // 2^(j/kExpStep) exp(r) = T + T r + T (exp(r) - 1 - r).
  const double tail = t.hi * er;
  const DD p = two_prod(t.hi, rh);
  const DD s = quick_two_sum(t.hi, p.hi);
  const double lo = ((s.lo + p.lo) + (t.lo + (t.hi * r.lo + t.lo * rh))) + tail;
  const DD v = quick_two_sum(s.hi, lo);
  if (!decided(v, error_bound(v.hi, tail))) return portable_exp10_reference(x);
  // The result is a normal number, so the scaling is exact.
  const int q = k >> 6;
  static_assert(kExpStep == 64);
  return v.hi * std::bit_cast<double>(static_cast<std::uint64_t>(q + 1023) << 52);
}

}  // namespace g729a
