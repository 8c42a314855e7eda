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

void sid_gain_smooth(double received, double& sid_gain) {
  sid_gain = kSidGainKeep * sid_gain + kSidGainTake * received;
}

void sid_gain_continue(DecoderState& state) {
  sid_gain_smooth(state.sid_received_gain, state.sid_gain);
}

void sid_gain_take(std::int32_t previous_frame_kind, double received, double& sid_gain) {
  if (previous_frame_kind == static_cast<std::int32_t>(FrameKind::Speech)) {
    sid_gain = received;
  } else {
    sid_gain_smooth(received, sid_gain);
  }
}

void sid_codebook_vector(int sid_stage1, int sid_stage2, LsfVector& buf) {
  const double* row1 = lsf_cb1[sid_stage1_map[sid_stage1]];
  const double* low = lsf_cb2[sid_stage2_map[0][sid_stage2]];
  const double* high = lsf_cb2[sid_stage2_map[1][sid_stage2]];
  for (int j = 0; j < 10; ++j) buf[j] = row1[j];
  for (int j = 0; j < 5; ++j) buf[j] += low[j];
  for (int j = 5; j < 10; ++j) buf[j] += high[j];
  // Only the first of the two spreading passes speech frames get.
  lsf_expand(buf, kLsfFirstGap);
}

void sid_lsf_decode(int sid_switch, int sid_stage1, int sid_stage2, LsfMaMemory& memory,
                    std::span<double, 10> sid_lsp) {
  LsfVector buf;
  sid_codebook_vector(sid_stage1, sid_stage2, buf);
  const auto& coef = cng_ma_coef[sid_switch];
  const double* const rows[4] = {coef[0], coef[1], coef[2], coef[3]};
  LsfVector lsf;
  lsf_ma_predict(buf, rows, cng_ma_coef_sum[sid_switch], memory, lsf);
  portable_cos_10(lsf, sid_lsp);
}

void sid_decode(DecoderState& state, int sid_switch, int sid_stage1, int sid_stage2, int sid_energy,
                PendingExcitation* second) {
  state.sid_received_gain = sid_gain_table[sid_energy];
  sid_lsf_decode(sid_switch, sid_stage1, sid_stage2, state.lsf_ma_memory, state.sid_lsp);
  sid_gain_take(state.previous_frame_kind, state.sid_received_gain, state.sid_gain);
  comfort_noise_excitation(state.excitation_buffer.data() + kExcitationHistory, state.cng_seed,
                           state.sid_gain, second);
}

}  // namespace g729a
