#include "codec/decoder/sid_decode.h"

#include "codec/common/adaptive_codebook.h"
#include "codec/common/frame_format.h"
#include "codec/common/lsf.h"
#include "codec/common/tables.h"
#include "codec/decoder/cng_excitation.h"
#include "codec/decoder/excitation.h"
#include "codec/maths/portable_math.h"

namespace g729a {
namespace {

constexpr double kSidGainKeep = 0.875;
constexpr double kSidGainTake = 0.125;

}  // namespace

void sid_gain_continue(DecoderState& state) {
  state.sid_gain = kSidGainKeep * state.sid_gain + kSidGainTake * state.sid_received_gain;
}

void sid_decode(DecoderState& state, int sid_switch, int sid_stage1, int sid_stage2, int sid_energy,
                PendingExcitation* second) {
  state.sid_received_gain = sid_gain_table[sid_energy];

  LsfVector buf;
  const double* row1 = lsf_cb1[sid_stage1_map[sid_stage1]];
  const double* low = lsf_cb2[sid_stage2_map[0][sid_stage2]];
  const double* high = lsf_cb2[sid_stage2_map[1][sid_stage2]];
  for (int j = 0; j < 10; ++j) buf[j] = row1[j];
  for (int j = 0; j < 5; ++j) buf[j] += low[j];
  for (int j = 5; j < 10; ++j) buf[j] += high[j];
  // Only the first of the two spreading passes speech frames get.
  lsf_expand(buf, kLsfFirstGap);

  const auto& coef = cng_ma_coef[sid_switch];
  const double* const rows[4] = {coef[0], coef[1], coef[2], coef[3]};
  LsfVector lsf;
  lsf_ma_predict(buf, rows, cng_ma_coef_sum[sid_switch], state.lsf_ma_memory, lsf);
  portable_cos_10(lsf, state.sid_lsp);

  if (state.previous_frame_kind == static_cast<std::int32_t>(FrameKind::Speech)) {
    state.sid_gain = state.sid_received_gain;
  } else {
    sid_gain_continue(state);
  }

  comfort_noise_excitation(state.excitation_buffer.data() + kExcitationHistory, state.cng_seed,
                           state.sid_gain, second);
}

}  // namespace g729a
