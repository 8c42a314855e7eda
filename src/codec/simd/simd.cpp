#include "codec/simd/simd.h"

#include <cstdlib>
#include <cstring>

namespace g729a {
namespace {

SimdPath from_environment() {
  const SimdPath best = simd_best_available();
  const char* name = std::getenv("G729A_SIMD");
  if (name == nullptr) return best;
  SimdPath wanted = best;
  if (std::strcmp(name, "scalar") == 0) wanted = SimdPath::Scalar;
  if (std::strcmp(name, "sse2") == 0) wanted = SimdPath::Sse2;
  if (std::strcmp(name, "avx2") == 0) wanted = SimdPath::Avx2;
  return wanted < best ? wanted : best;
}

SimdPath g_path = from_environment();

}  // namespace

SimdPath simd_best_available() {
#if defined(G729A_HAVE_AVX2) && defined(G729A_HAVE_SSE2)
  __builtin_cpu_init();  // may run before the runtime's own constructors
  if (__builtin_cpu_supports("avx2")) return SimdPath::Avx2;
#endif
#if defined(G729A_HAVE_SSE2)
  return SimdPath::Sse2;
#else
  return SimdPath::Scalar;
#endif
}

SimdPath simd_path() {
  return g_path;
}

ScopedSimdPath::ScopedSimdPath(SimdPath path) : saved_(g_path) {
  const SimdPath best = simd_best_available();
  g_path = path < best ? path : best;
  active_ = g_path;
}

ScopedSimdPath::~ScopedSimdPath() {
  g_path = saved_;
}

const char* simd_path_name(SimdPath path) {
  switch (path) {
    case SimdPath::Sse2:
      return "sse2";
    case SimdPath::Avx2:
      return "avx2";
    default:
      return "scalar";
  }
}

}  // namespace g729a
