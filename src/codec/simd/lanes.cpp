#include "codec/simd/lanes.h"

#include <cstring>

#include "codec/simd/simd.h"

namespace g729a {
namespace {

void lagged_sums_scalar(const double* a, const double* b, int stride, int length, int count,
                        double* out) {
  for (int l = 0; l < count; ++l) {
    double s = 0.0;
    for (int m = 0; m < length; ++m) s += a[m * stride] * b[m * stride - l];
    out[l] = s;
  }
}

#if defined(G729A_HAVE_SSE2)
void lagged_sums_sse2(const double* a, const double* b, int stride, int length, int count,
                      double* out) {
  int l = 0;
  for (; l + 2 <= count; l += 2) {
    __m128d acc = _mm_setzero_pd();  // lanes l + 1, l
    for (int m = 0; m < length; ++m) {
      acc = _mm_add_pd(
          acc, _mm_mul_pd(_mm_set1_pd(a[m * stride]), _mm_loadu_pd(b + m * stride - l - 1)));
    }
    _mm_storeu_pd(out + l, _mm_shuffle_pd(acc, acc, 1));
  }
  if (l < count) lagged_sums_scalar(a, b - l, stride, length, 1, out + l);
}
#endif

#if defined(G729A_HAVE_AVX2)
// One pass over 4N lags from l: each sum is a chain of `length` additions, so
// a pass carries N of them side by side (each broadcast of a shared by all).
template <int N>
G729A_AVX2 inline void lagged_pass_avx2(const double* a, const double* b, int stride, int length,
                                        int l, double* out) {
  __m256d acc[N];  // acc[v]: lanes l + 4v + 3 .. l + 4v
  for (int v = 0; v < N; ++v) acc[v] = _mm256_setzero_pd();
#pragma GCC unroll 4
  for (int m = 0; m < length; ++m) {
    const __m256d am = _mm256_set1_pd(a[m * stride]);
    for (int v = 0; v < N; ++v) {
      acc[v] =
          _mm256_add_pd(acc[v], _mm256_mul_pd(am, _mm256_loadu_pd(b + m * stride - l - 4 * v - 3)));
    }
  }
  for (int v = 0; v < N; ++v) {
    _mm256_storeu_pd(out + l + 4 * v, _mm256_permute4x64_pd(acc[v], 0x1B));
  }
}

G729A_AVX2 void lagged_sums_avx2(const double* a, const double* b, int stride, int length,
                                 int count, double* out) {
  int l = 0;
  // Four chains per pass keep the adder busy while each waits on its last
  // addition; the remainder takes three, two or one.
  for (; l + 16 <= count; l += 16) lagged_pass_avx2<4>(a, b, stride, length, l, out);
  if (l + 12 <= count) {
    lagged_pass_avx2<3>(a, b, stride, length, l, out);
    l += 12;
  } else if (l + 8 <= count) {
    lagged_pass_avx2<2>(a, b, stride, length, l, out);
    l += 8;
  } else if (l + 4 <= count) {
    lagged_pass_avx2<1>(a, b, stride, length, l, out);
    l += 4;
  }
  if (l < count) lagged_sums_sse2(a, b - l, stride, length, count - l, out + l);
}
#endif

}  // namespace

void lagged_sums(const double* a, const double* b, int stride, int length, int count, double* out) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return lagged_sums_avx2(a, b, stride, length, count, out);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return lagged_sums_sse2(a, b, stride, length, count, out);
#endif
  lagged_sums_scalar(a, b, stride, length, count, out);
}

namespace {

#if defined(G729A_HAVE_AVX2)
// Squares four at a time; each sum still adds its terms one by one, the two
// sums side by side in the low pair of lanes.
G729A_AVX2 void two_energies_avx2(const double* a, const double* b, double start, double* ea,
                                  double* eb) {
  __m128d s = _mm_set1_pd(start);
  for (int n = 0; n < 40; n += 4) {
    const __m256d va = _mm256_loadu_pd(a + n);
    const __m256d vb = _mm256_loadu_pd(b + n);
    const __m256d sa = _mm256_mul_pd(va, va);
    const __m256d sb = _mm256_mul_pd(vb, vb);
    const __m256d even = _mm256_unpacklo_pd(sa, sb);  // n, n + 2
    const __m256d odd = _mm256_unpackhi_pd(sa, sb);   // n + 1, n + 3
    s = _mm_add_pd(s, _mm256_castpd256_pd128(even));
    s = _mm_add_pd(s, _mm256_castpd256_pd128(odd));
    s = _mm_add_pd(s, _mm256_extractf128_pd(even, 1));
    s = _mm_add_pd(s, _mm256_extractf128_pd(odd, 1));
  }
  _mm_storel_pd(ea, s);
  _mm_storeh_pd(eb, s);
}
#endif

}  // namespace

namespace {

[[gnu::always_inline]] inline void weighted_steps(double a, const double* x, double b,
                                                  const double* y, double* out) {
  for (int n = 0; n < 40; ++n) out[n] = a * x[n] + b * y[n];
}

void weighted_sum_plain(double a, const double* x, double b, const double* y, double* out) {
  weighted_steps(a, x, b, y, out);
}

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void weighted_sum_avx2(double a, const double* x, double b, const double* y,
                                  double* out) {
  weighted_steps(a, x, b, y, out);
}
#endif

}  // namespace

namespace {

template <int W>
[[gnu::always_inline]] inline double dot_lanes(double start, const double* a, const double* b) {
  using V = typename LaneVector<W>::type;
  double s = start;
  for (int n = 0; n < 40; n += W) {
    V va, vb;
    std::memcpy(&va, a + n, sizeof va);
    std::memcpy(&vb, b + n, sizeof vb);
    const V p = va * vb;
    for (int l = 0; l < W; ++l) s += p[l];
  }
  return s;
}

#if defined(G729A_HAVE_SSE2)
double dot_product_sse2(double start, const double* a, const double* b) {
  return dot_lanes<2>(start, a, b);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 double dot_product_avx2(double start, const double* a, const double* b) {
  return dot_lanes<4>(start, a, b);
}
#endif

}  // namespace

double dot_product(double start, const double* a, const double* b) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return dot_product_avx2(start, a, b);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return dot_product_sse2(start, a, b);
#endif
  double s = start;
  for (int n = 0; n < 40; ++n) s += a[n] * b[n];
  return s;
}

namespace {

// x beats y: strictly smaller (kMinimum) or larger; NaN beats nothing.
// Element-wise on lane vectors.
#define G729A_BEATS(x, y) (kMinimum ? (x) < (y) : (x) > (y))

template <int W, bool kMinimum>
[[gnu::always_inline]] inline int first_extreme_lanes(const double* v, int count, double* best) {
  const double start = *best;
  if constexpr (W == 1) {
    double b = start;
    int index = -1;
    for (int i = 0; i < count; ++i) {
      if (G729A_BEATS(v[i], b)) {
        b = v[i];
        index = i;
      }
    }
    *best = b;
    return index;
  } else {
    // The plain loop's last replacement is the first position holding the
    // most extreme value, if that beats the start: no later value beats it
    // and every earlier one is beaten by it (+0 and -0 tie, and the first
    // of them stays). So the extreme is found first, by exact selections in
    // any order (four accumulators, no chain through the data), then its
    // first position, with no branch per candidate.
    using V = typename LaneVector<W>::type;
    constexpr int kAcc = 4;
    V ext[kAcc];
    for (V& e : ext) {
      for (int l = 0; l < W; ++l) e[l] = start;
    }
    int i0 = 0;
    for (; i0 + kAcc * W <= count; i0 += kAcc * W) {
      for (int a = 0; a < kAcc; ++a) {
        V g;
        std::memcpy(&g, v + i0 + a * W, sizeof g);
        ext[a] = G729A_BEATS(g, ext[a]) ? g : ext[a];
      }
    }
    for (; i0 + W <= count; i0 += W) {
      V g;
      std::memcpy(&g, v + i0, sizeof g);
      ext[0] = G729A_BEATS(g, ext[0]) ? g : ext[0];
    }
    double e = start;
    for (const V& x : ext) {
      for (int l = 0; l < W; ++l) e = G729A_BEATS(x[l], e) ? x[l] : e;
    }
    for (int i = i0; i < count; ++i) e = G729A_BEATS(v[i], e) ? v[i] : e;
    if (!G729A_BEATS(e, start)) return -1;
    int i = 0;
    for (; i + W <= count; i += W) {
      V g;
      std::memcpy(&g, v + i, sizeof g);
      const auto hit = g == e;
      bool any = false;
      for (int l = 0; l < W; ++l) any |= hit[l] != 0;
      if (any) break;
    }
    while (!(v[i] == e)) ++i;
    *best = v[i];
    return i;
  }
}

#undef G729A_BEATS

#if defined(G729A_HAVE_SSE2)
int first_minimum_sse2(const double* v, int count, double* best) {
  return first_extreme_lanes<2, true>(v, count, best);
}
int first_maximum_sse2(const double* v, int count, double* best) {
  return first_extreme_lanes<2, false>(v, count, best);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 int first_minimum_avx2(const double* v, int count, double* best) {
  return first_extreme_lanes<4, true>(v, count, best);
}
G729A_AVX2 int first_maximum_avx2(const double* v, int count, double* best) {
  return first_extreme_lanes<4, false>(v, count, best);
}
#endif

}  // namespace

int first_minimum(const double* v, int count, double* best) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return first_minimum_avx2(v, count, best);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return first_minimum_sse2(v, count, best);
#endif
  return first_extreme_lanes<1, true>(v, count, best);
}

int first_maximum(const double* v, int count, double* best) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return first_maximum_avx2(v, count, best);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return first_maximum_sse2(v, count, best);
#endif
  return first_extreme_lanes<1, false>(v, count, best);
}

void weighted_sum(double a, const double* x, double b, const double* y, double* out) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return weighted_sum_avx2(a, x, b, y, out);
#endif
  weighted_sum_plain(a, x, b, y, out);
}

void two_energies(const double* a, const double* b, double start, double* ea, double* eb) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return two_energies_avx2(a, b, start, ea, eb);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() != SimdPath::Scalar) {
    __m128d s = _mm_set1_pd(start);
#pragma GCC unroll 8
    for (int n = 0; n < 40; ++n) {
      const __m128d v = _mm_set_pd(b[n], a[n]);
      s = _mm_add_pd(s, _mm_mul_pd(v, v));
    }
    _mm_storel_pd(ea, s);
    _mm_storeh_pd(eb, s);
    return;
  }
#endif
  double sa = start;
  for (int n = 0; n < 40; ++n) sa += a[n] * a[n];
  double sb = start;
  for (int n = 0; n < 40; ++n) sb += b[n] * b[n];
  *ea = sa;
  *eb = sb;
}

}  // namespace g729a
