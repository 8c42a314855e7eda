#include "codec/decoder/envelope.h"

#include "codec/common/adaptive_codebook.h"
#include "codec/common/lsf.h"
#include "codec/common/tables.h"
#include "codec/decoder/concealment.h"
#include "codec/maths/portable_math.h"

namespace g729a {

void interpolate_lp(std::span<const double, 10> lsp_new, std::array<double, 10>& lsp_previous,
                    std::array<LpVector, 2>& A) {
  lsp_interpolate(lsp_previous, lsp_new, A);
  for (int i = 0; i < 10; ++i) lsp_previous[i] = lsp_new[i];
}

void speech_envelope(DecoderState& state, const FrameParameters& fp, std::array<LpVector, 2>& A) {
  const auto& p = fp.slots;
  const int mode = (p[kSlotL0L1] >> 7) & 1;
  state.previous_lsf_mode = mode;
  LsfVector lsf;
  lsf_reconstruct(lsf_cb1, lsf_cb2, p[kSlotL0L1] & 127, (p[kSlotL2L3] >> 5) & 31, p[kSlotL2L3] & 31,
                  lsf_ma_coef[mode], state.lsf_ma_memory, lsf, lsf_ma_coef_sum[mode]);
  std::array<double, 10> lsp_new;
  portable_cos_10(lsf, lsp_new);
  interpolate_lp(lsp_new, state.lsp_previous, A);
}

void concealed_envelope_and_excitation(DecoderState& state, std::array<LpVector, 2>& A,
                                       std::array<int, 2>& T) {
  lsf_memory_repeat(state.lsp_previous, state.previous_lsf_mode, state.lsf_ma_memory);
  const std::array<double, 10> lsp_repeated = state.lsp_previous;
  interpolate_lp(lsp_repeated, state.lsp_previous, A);
  for (int s = 0; s < 2; ++s) {
    erased_excitation(state, kExcitationHistory + kSubframeLength * s, T[s]);
  }
}

void comfort_noise_envelope(DecoderState& state, std::array<LpVector, 2>& A) {
  interpolate_lp(state.sid_lsp, state.lsp_previous, A);
  state.pitch_sharpening = kSharpeningMin;
}

}  // namespace g729a
