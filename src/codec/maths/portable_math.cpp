#include "codec/maths/portable_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "codec/maths/portable_math_reference.h"
#include "codec/maths/portable_math_tables.h"
#include "codec/simd/simd.h"

// Fast paths: start from a tabulated grid point near the argument, so a short
// series in double finishes the job, and keep the large leading terms exact
// with Dekker's products. Each path bounds its own error and returns only
// when that bound cannot move the rounding; otherwise (and outside the
// ranges the tables cover) it hands over to the reference evaluation. So the
// result is the reference's double for every input.

namespace g729a {

namespace {

using namespace portable_math_tables;

// A double-double value; T is double, or a vector of independent lanes that
// go through the same operations. The helpers take references and return
// records so no vector value crosses a call.
template <class T>
struct DDT {
  T hi;
  T lo;
};
using DD = DDT<double>;

template <class T>
[[gnu::always_inline]] inline DDT<T> quick_two_sum(const T& a, const T& b) {  // |a| >= |b|
  const T s = a + b;
  return {s, b - (s - a)};
}

template <class T>
[[gnu::always_inline]] inline DDT<T> two_sum(const T& a, const T& b) {
  const T s = a + b;
  const T bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

template <class T>
[[gnu::always_inline]] inline DDT<T> split(const T& a) {
  const T t = 134217729.0 * a;  // 2^27 + 1
  const T hi = t - (t - a);
  return {hi, a - hi};
}

template <class T>
[[gnu::always_inline]] inline DDT<T> two_prod(const T& a, const T& b) {
  const T p = a * b;
  const DDT<T> as = split(a);
  const DDT<T> bs = split(b);
  return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

template <class T>
[[gnu::always_inline]] inline DDT<T> add(const DDT<T>& a, const DDT<T>& b) {
  DDT<T> s = two_sum(a.hi, b.hi);
  const DDT<T> t = two_sum(a.lo, b.lo);
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

// sqrt a as a pair, from s = sqrt(a) rounded; a > 0.
template <class T>
[[gnu::always_inline]] inline DDT<T> refine_sqrt(const T& a, const T& s) {
  const DDT<T> p = two_prod(s, s);
  return quick_two_sum(s, ((a - p.hi) - p.lo) / (2.0 * s));
}

DD sqrt_dd(double a) {  // a > 0
  return refine_sqrt(a, std::sqrt(a));
}

template <class T>
struct Approx {
  DDT<T> v;
  T tail;  // the part evaluated in plain double, for error_bound
};

// asin(i/kAsinStep + dh + dl) for |dh| up to about 2^-8, p being kAsin[i]
// (or, in lanes, one such point per lane).
template <class T, class Point>
[[gnu::always_inline]] inline Approx<T> asin_near(const Point& p, const T& dh, const T& dl) {
  T poly = p.a[kAsinTerms - 3];
  for (int k = kAsinTerms - 4; k >= 0; --k) poly = poly * dh + p.a[k];
  const T tail = poly * dh * dh;
  const DDT<T> q = two_prod(p.a1.hi, dh);
  const DDT<T> s = two_sum(p.a0.hi, q.hi);
  // dl enters through a_1 and, at 2^-62 of the result still, through a_2.
  const T small = p.a0.lo + ((p.a1.hi + 2.0 * p.a[0] * dh) * dl + p.a1.lo * dh);
  const T lo = ((s.lo + q.lo) + small) + tail;
  return {two_sum(s.hi, lo), tail};
}

template <class T>
struct CosApprox {
  DDT<T> v;
  T c_part;  // the two series terms, for the error bound
  T s_part;
};

// cos(a + r) for a grid point a with cos and sin t (or one per lane), |r| <=
// 2^-8.
template <class T, class Point>
[[gnu::always_inline]] inline CosApprox<T> cos_near(const Point& t, const T& r) {
  const T r2 = r * r;
  const T one_minus_cos = r2 * (0.5 - r2 * (1.0 / 24 - r2 * (1.0 / 720)));
  const T r_minus_sin = r * r2 * (1.0 / 6 - r2 * (1.0 / 120 - r2 * (1.0 / 5040)));
  // cos(a + r) = C - S r - C (1 - cos r) + S (r - sin r).
  const T c_part = t.c.hi * one_minus_cos;
  const T s_part = t.s.hi * r_minus_sin;
  const DDT<T> p = two_prod(t.s.hi, r);
  const DDT<T> s = two_sum(t.c.hi, -p.hi);
  const T lo = ((s.lo - p.lo) + (t.c.lo - t.s.lo * r)) + (s_part - c_part);
  return {two_sum(s.hi, lo), c_part, s_part};
}

}  // namespace

double portable_cos(double x) {
  const double ax = std::fabs(x);
  if (!(ax < static_cast<double>(kCosCount - 1) / kCosStep)) return portable_cos_reference(x);
  // ax = a + r with a on the grid and |r| <= 2^-8; r is exact.
  const int i = static_cast<int>(ax * kCosStep + 0.5);
  const double r = ax - static_cast<double>(i) / kCosStep;
  const CosApprox<double> a = cos_near(kCosSin[i], r);
  const DD v = a.v;
  const double err = error_bound(v.hi, std::fabs(a.c_part) + std::fabs(a.s_part)) + 0x1p-100;
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
    const Approx<double> a = asin_near(kAsin[i], ax - static_cast<double>(i) / kAsinStep, 0.0);
    const DD half_pi = {kHalfPi.hi, kHalfPi.lo};
    v = add(half_pi, x >= 0.0 ? DD{-a.v.hi, -a.v.lo} : a.v);
    tail = a.tail;
  } else {
    // acos |x| = 2 asin(sqrt((1 - |x|)/2)); 1 - |x| is exact here.
    const DD s = sqrt_dd((1.0 - ax) * 0.5);
    const int i = static_cast<int>(s.hi * kAsinStep + 0.5);
    const Approx<double> a = asin_near(kAsin[i], s.hi - static_cast<double>(i) / kAsinStep, s.lo);
    const DD twice = {2.0 * a.v.hi, 2.0 * a.v.lo};
    v = x > 0.0 ? twice : add(DD{kPi.hi, kPi.lo}, DD{-twice.hi, -twice.lo});
    tail = 2.0 * a.tail;
  }
  return decided(v, error_bound(v.hi, tail)) ? v.hi : portable_acos_reference(x);
}

namespace {

// W arguments side by side through the scalar fast path's operations. Lanes
// out of the fast range are computed on 0 and discarded; a lane that is out
// of range or undecided takes the scalar function's result, so every lane
// gets exactly the scalar double.

template <int W>
using Lanes = typename LaneVector<W>::type;

template <int W>
using LaneMask = decltype(Lanes<W>{} < Lanes<W>{});

// v[l] = value(l) in every lane l.
template <int W, class Value, std::size_t... L>
[[gnu::always_inline]] inline void fill_lanes(Lanes<W>& v, const Value& value,
                                              std::index_sequence<L...>) {
  v = Lanes<W>{value(static_cast<int>(L))...};
}

template <int W, class Value>
[[gnu::always_inline]] inline void fill_lanes(Lanes<W>& v, const Value& value) {
  fill_lanes<W>(v, value, std::make_index_sequence<W>());
}

template <int W>
[[gnu::always_inline]] inline void set_magnitude(const Lanes<W>& v, Lanes<W>& out) {
  LaneMask<W> bits = (LaneMask<W>)v;
  bits &= 0x7fffffffffffffffll;  // clears the sign, as fabs does
  out = (Lanes<W>)bits;
}

template <int W>
[[gnu::always_inline]] inline void set_error_bound(const Lanes<W>& hi, const Lanes<W>& tail,
                                                   Lanes<W>& err) {
  Lanes<W> m_hi, m_tail;
  set_magnitude<W>(hi, m_hi);
  set_magnitude<W>(tail, m_tail);
  err = 0x1p-64 * m_hi + 0x1p-47 * m_tail;
}

// The scalar table records with one value per lane.
template <int W>
struct CosSinLanes {
  DDT<Lanes<W>> c;
  DDT<Lanes<W>> s;
};

template <int W>
struct AsinLanes {
  DDT<Lanes<W>> a0;
  DDT<Lanes<W>> a1;
  Lanes<W> a[kAsinTerms - 2];
};

template <int W>
[[gnu::always_inline]] inline void cos_lanes(const double* x, double* out) {
  using V = Lanes<W>;
  V xv, ax;
  std::memcpy(&xv, x, sizeof xv);
  set_magnitude<W>(xv, ax);
  const auto fast = ax < static_cast<double>(kCosCount - 1) / kCosStep;
  ax = fast ? ax : V{};
  const V scaled = ax * static_cast<double>(kCosStep) + 0.5;
  int i[W];
  for (int l = 0; l < W; ++l) i[l] = static_cast<int>(scaled[l]);
  V grid;
  fill_lanes<W>(grid, [&](int l) { return static_cast<double>(i[l]) / kCosStep; });
  CosSinLanes<W> t;
  fill_lanes<W>(t.c.hi, [&](int l) { return kCosSin[i[l]].c.hi; });
  fill_lanes<W>(t.c.lo, [&](int l) { return kCosSin[i[l]].c.lo; });
  fill_lanes<W>(t.s.hi, [&](int l) { return kCosSin[i[l]].s.hi; });
  fill_lanes<W>(t.s.lo, [&](int l) { return kCosSin[i[l]].s.lo; });
  const CosApprox<V> a = cos_near(t, V(ax - grid));
  V c_mag, s_mag, err;
  set_magnitude<W>(a.c_part, c_mag);
  set_magnitude<W>(a.s_part, s_mag);
  set_error_bound<W>(a.v.hi, c_mag + s_mag, err);
  err = err + 0x1p-100;
  const auto ok = fast & (a.v.hi + (a.v.lo + err) == a.v.hi) & (a.v.hi + (a.v.lo - err) == a.v.hi);
  for (int l = 0; l < W; ++l) out[l] = ok[l] ? a.v.hi[l] : portable_cos(xv[l]);
}

// Both branches of portable_acos in every lane, each lane keeping its own.
template <int W>
[[gnu::always_inline]] inline void acos_lanes(const double* x, double* out) {
  using V = Lanes<W>;
  V xv, ax;
  std::memcpy(&xv, x, sizeof xv);
  set_magnitude<W>(xv, ax);
  const auto fast = ax < 1.0;
  ax = fast ? ax : V{};
  const auto near_zero = ax <= 0.5;
  // Above 1/2, asin of sqrt((1 - |x|)/2) in two parts.
  const V half = (1.0 - ax) * 0.5;
  V root;
  fill_lanes<W>(root, [&](int l) { return std::sqrt(half[l]); });
  const DDT<V> s = refine_sqrt(half, root);
  const V base = near_zero ? ax : s.hi;
  const V base_lo = near_zero ? V{} : s.lo;
  const V scaled = base * static_cast<double>(kAsinStep) + 0.5;
  int i[W];
  for (int l = 0; l < W; ++l) i[l] = static_cast<int>(scaled[l]);
  V grid;
  fill_lanes<W>(grid, [&](int l) { return static_cast<double>(i[l]) / kAsinStep; });
  AsinLanes<W> p;
  fill_lanes<W>(p.a0.hi, [&](int l) { return kAsin[i[l]].a0.hi; });
  fill_lanes<W>(p.a0.lo, [&](int l) { return kAsin[i[l]].a0.lo; });
  fill_lanes<W>(p.a1.hi, [&](int l) { return kAsin[i[l]].a1.hi; });
  fill_lanes<W>(p.a1.lo, [&](int l) { return kAsin[i[l]].a1.lo; });
  for (int k = 0; k < kAsinTerms - 2; ++k) {
    fill_lanes<W>(p.a[k], [&](int l) { return kAsin[i[l]].a[k]; });
  }
  const Approx<V> a = asin_near(p, V(base - grid), base_lo);
  DDT<V> half_pi, pi;
  fill_lanes<W>(half_pi.hi, [](int) { return kHalfPi.hi; });
  fill_lanes<W>(half_pi.lo, [](int) { return kHalfPi.lo; });
  fill_lanes<W>(pi.hi, [](int) { return kPi.hi; });
  fill_lanes<W>(pi.lo, [](int) { return kPi.lo; });
  // |x| <= 1/2: pi/2 - asin x.
  const auto non_negative = xv >= 0.0;
  const DDT<V> signed_asin = {non_negative ? -a.v.hi : a.v.hi, non_negative ? -a.v.lo : a.v.lo};
  const DDT<V> small = add(half_pi, signed_asin);
  // Above: twice the asin, or pi less that for negative x.
  const DDT<V> twice = {2.0 * a.v.hi, 2.0 * a.v.lo};
  const DDT<V> reflected = add(pi, DDT<V>{-twice.hi, -twice.lo});
  const auto positive = xv > 0.0;
  const DDT<V> large = {positive ? twice.hi : reflected.hi, positive ? twice.lo : reflected.lo};
  const DDT<V> v = {near_zero ? small.hi : large.hi, near_zero ? small.lo : large.lo};
  const V tail = near_zero ? a.tail : 2.0 * a.tail;
  V err;
  set_error_bound<W>(v.hi, tail, err);
  const auto ok = fast & (v.hi + (v.lo + err) == v.hi) & (v.hi + (v.lo - err) == v.hi);
  for (int l = 0; l < W; ++l) out[l] = ok[l] ? v.hi[l] : portable_acos(xv[l]);
}

#if defined(G729A_HAVE_SSE2)
void cos_10_sse2(const double* x, double* out) {
  for (int k = 0; k < 10; k += 2) cos_lanes<2>(x + k, out + k);
}

void acos_10_sse2(const double* x, double* out) {
  for (int k = 0; k < 10; k += 2) acos_lanes<2>(x + k, out + k);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void cos_10_avx2(const double* x, double* out) {
  cos_lanes<4>(x, out);
  cos_lanes<4>(x + 4, out + 4);
  cos_lanes<2>(x + 8, out + 8);
}

G729A_AVX2 void acos_10_avx2(const double* x, double* out) {
  acos_lanes<4>(x, out);
  acos_lanes<4>(x + 4, out + 4);
  acos_lanes<2>(x + 8, out + 8);
}
#endif

}  // namespace

void portable_cos_10(std::span<const double, 10> x, std::span<double, 10> out) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return cos_10_avx2(x.data(), out.data());
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return cos_10_sse2(x.data(), out.data());
#endif
  for (int i = 0; i < 10; ++i) out[i] = portable_cos(x[i]);
}

void portable_acos_10(std::span<const double, 10> x, std::span<double, 10> out) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return acos_10_avx2(x.data(), out.data());
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return acos_10_sse2(x.data(), out.data());
#endif
  for (int i = 0; i < 10; ++i) out[i] = portable_acos(x[i]);
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
