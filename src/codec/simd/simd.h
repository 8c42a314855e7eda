// Which vector path the codec's kernels take. Every path gives the same bits:
// the lanes only ever hold independent sums (several delays, rows, positions
// or output samples at once), each added in the scalar order. The scalar
// path is the portable reference.
#pragma once

#if defined(__SSE2__)
#define G729A_HAVE_SSE2 1
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define G729A_HAVE_AVX2 1
#include <immintrin.h>
// Two-lane kernels widened to four; never fma: products and sums round apart.
#define G729A_AVX2 __attribute__((target("avx2")))
#endif

namespace g729a {

// W doubles side by side, with element-wise operations only: each lane
// rounds exactly as the scalar code does. One kernel written on it serves
// the two-lane path and, inlined into a G729A_AVX2 function, the four-lane
// one. Values of it are never passed or returned, so no calling convention
// depends on the target.
template <int W>
struct LaneVector {
  typedef double type __attribute__((vector_size(8 * W)));
};

// W 64-bit integers side by side: what comparing two LaneVector<W> gives,
// and lane indices to select with it.
template <int W>
struct LaneIndex {
  typedef long long type __attribute__((vector_size(8 * W)));
};

enum class SimdPath { Scalar = 0, Sse2 = 1, Avx2 = 2 };

// The path in use: the best the processor and the build offer, or the one
// named by G729A_SIMD (scalar, sse2, avx2) when it is available. Decided once.
SimdPath simd_path();

// The best path the processor and the build offer.
SimdPath simd_best_available();

const char* simd_path_name(SimdPath path);

// Holds a path (capped at what the processor and the build offer) for as
// long as it lives, then restores the path it replaced: how tests run a
// computation on a chosen path. Not for concurrent use with the codec.
class ScopedSimdPath {
 public:
  explicit ScopedSimdPath(SimdPath path);
  ~ScopedSimdPath();
  ScopedSimdPath(const ScopedSimdPath&) = delete;
  ScopedSimdPath& operator=(const ScopedSimdPath&) = delete;
  // The path in effect while the setting lives.
  SimdPath active() const { return active_; }

 private:
  SimdPath saved_;
  SimdPath active_;
};

}  // namespace g729a
