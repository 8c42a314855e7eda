#include "codec/decoder/output_stage.h"

#include <cmath>

#include "codec/common/biquad.h"
#include "codec/common/tables.h"
#include "codec/simd/lp_synthesis_steps.h"
#include "codec/simd/simd.h"

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
// (VEX) form for the AVX2 path: same arithmetic, two samples per turn so the
// memory's rotation costs no register moves. The conversions do not feed
// back, so they run afterwards, several per step.
[[gnu::always_inline]] inline void output_recursion_part(const double* v, BiquadMemory& memory,
                                                         double* w, int from, int to) {
  BiquadMemory m = memory;  // kept in registers through the loop
  for (int n = from; n < to; n += 2) {
    w[n] = biquad_step(output_filter_b, output_filter_a, m, v[n]);
    w[n + 1] = biquad_step(output_filter_b, output_filter_a, m, v[n + 1]);
  }
  memory = m;
}

// The second half with the gain control's products formed on the way, the
// running gain a chain interleaved with the filter's.
[[gnu::always_inline]] inline void controlled_recursion(const GainControl& control, const double* y,
                                                        double& gain, BiquadMemory& memory,
                                                        double* w) {
  BiquadMemory m = memory;
  if (control.unscaled) {
    for (int n = 0; n < kSubframeLength; ++n) {
      w[kSubframeLength + n] = biquad_step(output_filter_b, output_filter_a, m, y[n]);
    }
  } else {
    double g = gain;
    for (int n = 0; n < kSubframeLength; ++n) {
      g = agc_step(g, control.g0);
      w[kSubframeLength + n] = biquad_step(output_filter_b, output_filter_a, m, y[n] * g);
    }
    gain = g;
  }
  memory = m;
}

// to_pcm_sample on whole vectors: w + 0.5 with w's sign (for -0.0 that gives
// -0.5, which truncates to 0 as 0.5 does), capped at 32767 (anything in
// 32767..32768 truncates to 32767 anyway); a NaN is masked to +0.0 before the
// conversion. Below -32768 the conversion gives -32768 or, out of the int32
// range, its 0x80000000 marker, which the saturating pack keeps at -32768.
#if defined(G729A_HAVE_SSE2)
void to_pcm_sse2(const double* w, std::int16_t* pcm) {
  const __m128d sign = _mm_set1_pd(-0.0);
  const __m128d half = _mm_set1_pd(0.5);
  const __m128d top = _mm_set1_pd(32767.0);
  for (int n = 0; n < kFrameLength; n += 4) {
    __m128i words[2];
    for (int h = 0; h < 2; ++h) {
      const __m128d x = _mm_loadu_pd(w + n + 2 * h);
      const __m128d r = _mm_add_pd(x, _mm_or_pd(half, _mm_and_pd(x, sign)));
      const __m128d c = _mm_and_pd(_mm_min_pd(r, top), _mm_cmpord_pd(x, x));
      words[h] = _mm_cvttpd_epi32(c);
    }
    const __m128i four = _mm_unpacklo_epi64(words[0], words[1]);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pcm + n), _mm_packs_epi32(four, four));
  }
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void to_pcm_avx2(const double* w, std::int16_t* pcm) {
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d half = _mm256_set1_pd(0.5);
  const __m256d top = _mm256_set1_pd(32767.0);
  for (int n = 0; n < kFrameLength; n += 8) {
    __m128i words[2];
    for (int h = 0; h < 2; ++h) {
      const __m256d x = _mm256_loadu_pd(w + n + 4 * h);
      const __m256d r = _mm256_add_pd(x, _mm256_or_pd(half, _mm256_and_pd(x, sign)));
      const __m256d c = _mm256_and_pd(_mm256_min_pd(r, top), _mm256_cmp_pd(x, x, _CMP_ORD_Q));
      words[h] = _mm256_cvttpd_epi32(c);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + n), _mm_packs_epi32(words[0], words[1]));
  }
}
#endif

void to_pcm_plain(const double* w, std::int16_t* pcm) {
#if defined(G729A_HAVE_SSE2)
  if (simd_path() != SimdPath::Scalar) return to_pcm_sse2(w, pcm);
#endif
  for (int n = 0; n < kFrameLength; ++n) pcm[n] = to_pcm_sample(w[n]);
}

// The last post-filter subframe's synthesis with the output recursion of
// the frame's first 40 samples placed interleaved with each of its outputs.
[[gnu::always_inline]] inline void synthesis_with_output_filter_steps(const LpVector& a,
                                                                      const double* x, double* y,
                                                                      const double* v,
                                                                      BiquadMemory& memory,
                                                                      double* w) {
  BiquadMemory m = memory;
  synthesis_steps(a.data(), x, y, kSubframeLength,
                  [&](int n) { w[n] = biquad_step(output_filter_b, output_filter_a, m, v[n]); });
  memory = m;
}

void synthesis_with_output_filter_plain(const LpVector& a, const double* x, double* y,
                                        const double* v, BiquadMemory& memory, double* w) {
  synthesis_with_output_filter_steps(a, x, y, v, memory, w);
}

// synthesis_with_output_filter_steps with the gain control's products formed on the way, and the
// energies of the synthesis's output and of s, each from 0 in increasing n.
[[gnu::always_inline]] inline void synthesis_with_controlled_output_filter_steps(
    const LpVector& a, const double* x, double* y, const GainControl& control, const double* y0,
    const double* s, double& gain, BiquadMemory& memory, double* w, GainEnergies& energies) {
  BiquadMemory m = memory;
  double out_energy = 0.0;
  double in_energy = 0.0;
  const auto energy_terms = [&](int n) {
    out_energy += y[n] * y[n];
    in_energy += s[n] * s[n];
  };
  if (control.unscaled) {
    synthesis_steps(a.data(), x, y, kSubframeLength, [&](int n) {
      w[n] = biquad_step(output_filter_b, output_filter_a, m, y0[n]);
      energy_terms(n);
    });
  } else {
    double g = gain;
    const double g0 = control.g0;
    synthesis_steps(a.data(), x, y, kSubframeLength, [&](int n) {
      g = agc_step(g, g0);
      w[n] = biquad_step(output_filter_b, output_filter_a, m, y0[n] * g);
      energy_terms(n);
    });
    gain = g;
  }
  memory = m;
  energies = {out_energy, in_energy};
}

void synthesis_with_controlled_output_filter_plain(const LpVector& a, const double* x, double* y,
                                                   const GainControl& control, const double* y0,
                                                   const double* s, double& gain,
                                                   BiquadMemory& memory, double* w,
                                                   GainEnergies& energies) {
  synthesis_with_controlled_output_filter_steps(a, x, y, control, y0, s, gain, memory, w, energies);
}

void finish_plain(const double* v, BiquadMemory& memory, double* w, std::int16_t* pcm) {
  output_recursion_part(v, memory, w, kSubframeLength, kFrameLength);
  to_pcm_plain(w, pcm);
}

void finish_controlled_plain(const GainControl& control, const double* y, double& gain,
                             BiquadMemory& memory, double* w, std::int16_t* pcm) {
  controlled_recursion(control, y, gain, memory, w);
  to_pcm_plain(w, pcm);
}

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void synthesis_with_output_filter_avx2(const LpVector& a, const double* x, double* y,
                                                  const double* v, BiquadMemory& memory,
                                                  double* w) {
  synthesis_with_output_filter_steps(a, x, y, v, memory, w);
}

G729A_AVX2 void synthesis_with_controlled_output_filter_avx2(const LpVector& a, const double* x,
                                                             double* y, const GainControl& control,
                                                             const double* y0, const double* s,
                                                             double& gain, BiquadMemory& memory,
                                                             double* w, GainEnergies& energies) {
  synthesis_with_controlled_output_filter_steps(a, x, y, control, y0, s, gain, memory, w, energies);
}

G729A_AVX2 void finish_avx2(const double* v, BiquadMemory& memory, double* w, std::int16_t* pcm) {
  output_recursion_part(v, memory, w, kSubframeLength, kFrameLength);
  to_pcm_avx2(w, pcm);
}

G729A_AVX2 void finish_controlled_avx2(const GainControl& control, const double* y, double& gain,
                                       BiquadMemory& memory, double* w, std::int16_t* pcm) {
  controlled_recursion(control, y, gain, memory, w);
  to_pcm_avx2(w, pcm);
}
#endif

}  // namespace

void synthesis_with_output_filter(const LpVector& a, const double* x, double* y, const double* v,
                                  std::array<double, 4>& memory, double* w) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2)
    return synthesis_with_output_filter_avx2(a, x, y, v, memory, w);
#endif
  synthesis_with_output_filter_plain(a, x, y, v, memory, w);
}

void postfilter_2_synthesis_with_output_filter_1(const LpVector& a, const double* x, double* y,
                                                 const GainControl& control, const double* y0,
                                                 const double* s, double& gain,
                                                 std::array<double, 4>& memory, double* w,
                                                 GainEnergies& energies) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) {
    return synthesis_with_controlled_output_filter_avx2(a, x, y, control, y0, s, gain, memory, w,
                                                        energies);
  }
#endif
  synthesis_with_controlled_output_filter_plain(a, x, y, control, y0, s, gain, memory, w, energies);
}

void output_stage_finish(std::span<const double, 80> v, std::array<double, 4>& memory,
                         std::span<double, 80> w, std::span<std::int16_t, 80> pcm) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return finish_avx2(v.data(), memory, w.data(), pcm.data());
#endif
  finish_plain(v.data(), memory, w.data(), pcm.data());
}

void output_stage_finish_controlled(const GainControl& control, const double* y, double& gain,
                                    std::array<double, 4>& memory, std::span<double, 80> w,
                                    std::span<std::int16_t, 80> pcm) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) {
    return finish_controlled_avx2(control, y, gain, memory, w.data(), pcm.data());
  }
#endif
  finish_controlled_plain(control, y, gain, memory, w.data(), pcm.data());
}

void to_pcm(std::span<const double, 80> w, std::span<std::int16_t, 80> pcm) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return to_pcm_avx2(w.data(), pcm.data());
#endif
  to_pcm_plain(w.data(), pcm.data());
}

}  // namespace g729a
