#include "codec/decoder/output_stage.h"

#include <cmath>

#include "codec/common/simd.h"
#include "codec/common/tables.h"

namespace g729a {

std::int16_t to_pcm_sample(double w) {
  // A NaN would slip past both saturation tests into the integer cast.
  if (std::isnan(w)) return 0;
  w = w >= 0.0 ? w + 0.5 : w - 0.5;
  if (w > 32767.0) return 32767;
  if (w < -32768.0) return -32768;
  return static_cast<std::int16_t>(w);
}

namespace {

// The recursion as written, with the conversion inlined; built once plainly
// and once in three-operand (VEX) form for the AVX2 path. Same arithmetic.
[[gnu::always_inline]] inline void output_steps(const double* v, double* memory,
                                                std::int16_t* pcm) {
  double x1 = memory[0];
  double x2 = memory[1];
  double y1 = memory[2];
  double y2 = memory[3];
  const double a1 = output_filter_a[1];
  const double a2 = output_filter_a[2];
  const double b0 = output_filter_b[0];
  const double b1 = output_filter_b[1];
  const double b2 = output_filter_b[2];
  for (int n = 0; n < 80; ++n) {
    const double w = (a1 * y1 + a2 * y2) + b0 * v[n] + b1 * x1 + b2 * x2;
    x2 = x1;
    x1 = v[n];
    y2 = y1;
    y1 = w;
    // Rounded half away from zero, saturated; NaN gives 0 as in to_pcm_sample.
    double r = w >= 0.0 ? w + 0.5 : w - 0.5;
    r = r > 32767.0 ? 32767.0 : r;
    r = r < -32768.0 ? -32768.0 : r;
    pcm[n] = w == w ? static_cast<std::int16_t>(static_cast<int>(r)) : 0;
  }
  memory[0] = x1;
  memory[1] = x2;
  memory[2] = y1;
  memory[3] = y2;
}

void output_steps_plain(const double* v, double* memory, std::int16_t* pcm) {
  output_steps(v, memory, pcm);
}

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void output_steps_avx2(const double* v, double* memory, std::int16_t* pcm) {
  output_steps(v, memory, pcm);
}
#endif

}  // namespace

void output_stage(std::span<const double, 80> v, std::array<double, 4>& memory,
                  std::span<std::int16_t, 80> pcm) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return output_steps_avx2(v.data(), memory.data(), pcm.data());
#endif
  output_steps_plain(v.data(), memory.data(), pcm.data());
}

}  // namespace g729a
