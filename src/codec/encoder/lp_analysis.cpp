#include "codec/encoder/lp_analysis.h"

#include "codec/common/lanes.h"
#include "codec/common/lp.h"
#include "codec/common/lp_filter.h"
#include "codec/common/numeric.h"
#include "codec/common/tables.h"

namespace g729a {

namespace {

constexpr std::array<double, 11> kGammaPowers = bandwidth_powers(0.75);
// The powers of 0.75 are exact, so they equal their decimal literals.
static_assert(kGammaPowers[10] == 0.056313514709472656);

constexpr double kWhiteNoiseCorrection = 1.0001;
constexpr double kTilt = 0.7;

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
  for (int k = 0; k <= 10; ++k) r[k] = sums[k];
  // Keeps silence analysable: Levinson-Durbin needs r[0] > 0.
  if (r[0] < 1.0) r[0] = 1.0;
  r[0] = r[0] * kWhiteNoiseCorrection;
  for (int k = 1; k <= 10; ++k) r[k] = r[k] * lag_window[k - 1];
}

void lp_analysis(std::span<const double, 240> speech, std::span<const double, 10> lsp_previous,
                 std::span<double, 10> lsp_new) {
  std::array<double, 11> r;
  windowed_autocorrelation(speech, r);
  LpVector a;
  std::array<double, 10> rc;
  levinson_durbin(r, a, rc);
  lp_to_lsp(a, lsp_previous, lsp_new);
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
