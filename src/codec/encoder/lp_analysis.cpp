#include "codec/encoder/lp_analysis.h"

#include <cstring>

#include "codec/common/lp.h"
#include "codec/common/lp_filter.h"
#include "codec/common/numeric.h"
#include "codec/common/tables.h"
#include "codec/encoder/input_filter.h"
#include "codec/simd/lanes.h"
#include "codec/simd/simd.h"
#include "g729a/codec.h"

namespace g729a {

namespace {

constexpr std::array<double, 11> kGammaPowers = bandwidth_powers(0.75);
// The powers of 0.75 are exact, so they equal their decimal literals.
static_assert(kGammaPowers[10] == 0.056313514709472656);

constexpr double kWhiteNoiseCorrection = 1.0001;
constexpr double kTilt = 0.7;

constexpr int kLags = 12;  // lags 0..10 and one unused, three vectors of four
constexpr int kOld = kAnalysisWindow - kFrameLength;  // samples the filter has already seen

// The input filter over the window's newest samples with the windowed
// autocorrelation interleaved with it. The autocorrelation's sums run in the plain
// order (term n of every lag, n = 0..239), three terms per filter sample:
// after filter sample i, terms up to 3i + 2 <= 160 + i are known, so the
// sums keep pace with the filter and fill its recursion's latency.
// Lane l of acc[v] carries lag Wv + W - 1 - l (a load of x[n - Wv - W + 1
// .. n - Wv] is in reverse lag order). inout: memory, speech[240] (the
// newest 80 filtered in place); out: sums[12].
template <int W>
[[gnu::always_inline]] inline void input_filter_with_autocorrelation(BiquadMemory& memory,
                                                                     double* speech, double* sums) {
  using V = typename LaneVector<W>::type;
  constexpr int kVectors = kLags / W;
  // kLags zeros in front: lag k's sum starts with k products with zero,
  // which leave its 0.0 start unchanged, so every lag runs from n = 0.
  alignas(32) double buf[kLags + kAnalysisWindow];
  for (int n = 0; n < kLags; ++n) buf[n] = 0.0;
  double* x = buf + kLags;
  for (int n = 0; n < kOld; ++n) x[n] = speech[n] * lp_window[n];
  V acc[kVectors];
  for (V& a : acc) {
    for (int l = 0; l < W; ++l) a[l] = 0.0;
  }
  BiquadMemory m = memory;
  int n = 0;
  for (int i = 0; i < kFrameLength; ++i) {
    const double y = input_filter_step(m, speech[kOld + i]);
    speech[kOld + i] = y;
    x[kOld + i] = y * lp_window[kOld + i];
    for (int j = 0; j < 3; ++j, ++n) {
      V xn;
      for (int l = 0; l < W; ++l) xn[l] = x[n];
      for (int v = 0; v < kVectors; ++v) {
        V lagged;
        std::memcpy(&lagged, x + n - W * v - (W - 1), sizeof lagged);
        acc[v] = acc[v] + xn * lagged;
      }
    }
  }
  memory = m;
  for (int v = 0; v < kVectors; ++v) {
    for (int l = 0; l < W; ++l) sums[W * v + W - 1 - l] = acc[v][l];
  }
}

#if defined(G729A_HAVE_SSE2)
void input_filter_with_autocorrelation_sse2(BiquadMemory& memory, double* speech, double* sums) {
  input_filter_with_autocorrelation<2>(memory, speech, sums);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void input_filter_with_autocorrelation_avx2(BiquadMemory& memory, double* speech,
                                                       double* sums) {
  input_filter_with_autocorrelation<4>(memory, speech, sums);
}
#endif

}  // namespace

void windowed_autocorrelation(std::span<const double, 240> speech, std::span<double, 11> r) {
  // Eleven zeros in front: lag k's sum then starts with k products with
  // zero, which leave its 0.0 start unchanged, so every lag runs side by
  // side from n = 0 (a twelfth lag, unused, rounds them to three vectors).
  alignas(32) std::array<double, 12 + 240> buf{};
  double* x = buf.data() + 12;
  for (int n = 0; n < 240; ++n) x[n] = speech[n] * lp_window[n];
  alignas(32) double sums[12];
  lagged_sums(x, x, 1, 240, 12, sums);
  autocorrelation_from_sums(sums, r);
}

void autocorrelation_from_sums(const double* sums, std::span<double, 11> r) {
  for (int k = 0; k <= 10; ++k) r[k] = sums[k];
  // Keeps silence analysable: Levinson-Durbin needs r[0] > 0.
  if (r[0] < 1.0) r[0] = 1.0;
  r[0] = r[0] * kWhiteNoiseCorrection;
  for (int k = 1; k <= 10; ++k) r[k] = r[k] * lag_window[k - 1];
}

void lp_from_autocorrelation(std::span<const double, 11> r,
                             std::span<const double, 10> lsp_previous,
                             std::span<double, 10> lsp_new) {
  LpVector a;
  std::array<double, 10> rc;
  levinson_durbin(r, a, rc);
  lp_to_lsp(a, lsp_previous, lsp_new);
}

void filtered_window_autocorrelation(BiquadMemory& memory, std::span<double, 240> speech,
                                     std::span<double, 11> r) {
  static_assert(kAnalysisWindow == 240 && 3 * kFrameLength == kAnalysisWindow);
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) {
    alignas(32) double sums[kLags];
    input_filter_with_autocorrelation_avx2(memory, speech.data(), sums);
    return autocorrelation_from_sums(sums, r);
  }
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) {
    alignas(32) double sums[kLags];
    input_filter_with_autocorrelation_sse2(memory, speech.data(), sums);
    return autocorrelation_from_sums(sums, r);
  }
#endif
  encoder_preprocess(memory, speech.subspan<kOld>());
  windowed_autocorrelation(speech, r);
}

void weight_filter(const LpVector& aq, LpVector& ap) {
  bandwidth_expand(aq, kGammaPowers, ap);
}

void weighted_speech_filter(const LpVector& ap, LpVector& c) {
  // Ap(z)(1 - 0.7 z^-1) cut to order 10 compensates the spectral tilt.
  c[0] = 1.0;
  for (int k = 1; k <= 10; ++k) c[k] = ap[k] - kTilt * ap[k - 1];
}

void weighted_speech(const double* res, const LpVector& ap, std::array<double, 10>& memory,
                     double* wsp) {
  LpVector c;
  weighted_speech_filter(ap, c);
  synthesize_subframe(c, res, memory, wsp, &memory);
  flush_memory(memory);
}

}  // namespace g729a
