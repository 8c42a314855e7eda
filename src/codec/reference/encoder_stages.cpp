#include "codec/reference/encoder_stages.h"

#include "codec/common/adaptive_codebook.h"
#include "codec/encoder/algebraic_codebook.h"
#include "codec/encoder/lp_analysis.h"
#include "codec/encoder/open_loop_pitch.h"
#include "codec/encoder/subframe.h"

namespace g729a {

void lp_analysis(std::span<const double, 240> speech, std::span<const double, 10> lsp_previous,
                 std::span<double, 10> lsp_new) {
  std::array<double, 11> r;
  windowed_autocorrelation(speech, r);
  lp_from_autocorrelation(r, lsp_previous, lsp_new);
}

int open_loop_pitch(const double* s) {
  alignas(32) std::array<double, kOpenLoopDelays> c;
  open_loop_correlations(s, c);
  return open_loop_pitch(s, c);
}

void impulse_response(const LpVector& ap, double* h) {
  alignas(32) std::array<double, 40> impulse{};
  impulse[0] = 1.0;
  const std::array<double, 10> zero{};
  weighted_synthesis(impulse.data(), ap, zero, h);
}

void algebraic_codebook_search(const double* x2, double* h, int t0, double pitch_sharpening,
                               double* cw, double* y2, std::int32_t* position_index,
                               std::int32_t* sign_index) {
  pitch_sharpen(t0, pitch_sharpening, h);
  alignas(32) ResponseCorrelations c;
  response_correlations(h, c);
  algebraic_codebook_search(x2, h, c, t0, pitch_sharpening, cw, y2, position_index, sign_index);
}

}  // namespace g729a
