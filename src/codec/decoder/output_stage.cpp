#include "codec/decoder/output_stage.h"

#include <cmath>

#include "codec/common/biquad.h"
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

// The recursion as written, built once plainly and once in three-operand
// (VEX) form for the AVX2 path: same arithmetic. The conversions do not feed
// back, so they run afterwards, several per step.
[[gnu::always_inline]] inline void output_recursion(const double* v, BiquadMemory& memory,
                                                    double* w) {
  BiquadMemory m = memory;  // kept in registers through the loop
  for (int n = 0; n < kFrameLength; ++n)
    w[n] = biquad_step(output_filter_b, output_filter_a, m, v[n]);
  memory = m;
}

#if defined(G729A_HAVE_SSE2)
// to_pcm_sample on two samples: +-0.5 chosen by w >= 0, saturation by
// min/max (the truncation of anything in 32767..32768 is 32767 anyway),
// NaN masked to 0.
void to_pcm_sse2(const double* w, std::int16_t* pcm) {
  const __m128d half = _mm_set1_pd(0.5);
  const __m128d zero = _mm_setzero_pd();
  for (int n = 0; n < 80; n += 4) {
    __m128i words[2];
    for (int h = 0; h < 2; ++h) {
      const __m128d x = _mm_loadu_pd(w + n + 2 * h);
      const __m128d pos = _mm_cmpge_pd(x, zero);
      const __m128d r =
          _mm_or_pd(_mm_and_pd(pos, _mm_add_pd(x, half)), _mm_andnot_pd(pos, _mm_sub_pd(x, half)));
      const __m128d c = _mm_max_pd(_mm_min_pd(r, _mm_set1_pd(32767.0)), _mm_set1_pd(-32768.0));
      const __m128i ordered = _mm_castpd_si128(_mm_shuffle_pd(
          _mm_cmpord_pd(x, x), _mm_cmpord_pd(x, x), 0));  // both lanes' masks, low halves used
      words[h] = _mm_and_si128(_mm_cvttpd_epi32(c), _mm_shuffle_epi32(ordered, 0x88));
    }
    const __m128i four = _mm_unpacklo_epi64(words[0], words[1]);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pcm + n), _mm_packs_epi32(four, four));
  }
}
#endif

void output_stage_plain(const double* v, BiquadMemory& memory, std::int16_t* pcm) {
  double w[80];
  output_recursion(v, memory, w);
#if defined(G729A_HAVE_SSE2)
  if (simd_path() != SimdPath::Scalar) return to_pcm_sse2(w, pcm);
#endif
  for (int n = 0; n < 80; ++n) pcm[n] = to_pcm_sample(w[n]);
}

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void output_stage_avx2(const double* v, BiquadMemory& memory, std::int16_t* pcm) {
  double w[80];
  output_recursion(v, memory, w);
  to_pcm_sse2(w, pcm);
}
#endif

}  // namespace

void output_stage(std::span<const double, 80> v, std::array<double, 4>& memory,
                  std::span<std::int16_t, 80> pcm) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return output_stage_avx2(v.data(), memory, pcm.data());
#endif
  output_stage_plain(v.data(), memory, pcm.data());
}

}  // namespace g729a
