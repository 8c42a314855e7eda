#include "codec/common/adaptive_codebook.h"
#include "codec/common/frame_format.h"
#include "codec/common/lsf.h"
#include "codec/common/tables.h"
#include "codec/decoder/concealment.h"
#include "codec/decoder/sid_decode.h"
#include "codec/maths/portable_math.h"
#include "g729a/codec.h"

namespace g729a {
namespace {

constexpr std::int32_t kInitialPitchDelay = 60;
constexpr double kInitialGainPrediction = -14.0;

}  // namespace

void decoder_init(DecoderState& state) {
  state.excitation_buffer.fill(0.0);
  state.lsp_previous = lsp_initial;
  state.synthesis_memory.fill(0.0);
  state.pitch_sharpening = kSharpeningMin;
  state.previous_pitch_delay = kInitialPitchDelay;
  state.gain_code = 0.0;
  state.gain_pitch = 0.0;
  state.previous_frame_kind = static_cast<std::int32_t>(FrameKind::Speech);
  state.cng_seed = kCngSeedStart;
  lsf_ma_memory_init(state.lsf_ma_memory);
  state.sid_gain = 0.0;
  portable_cos_10(lsf_ma_memory_reset, state.sid_lsp);
  state.sid_received_gain = sid_gain_table[0];
  state.gain_predictor_memory.fill(kInitialGainPrediction);
  state.postproc_memory.fill(0.0);
  state.residual_buffer.fill(0.0);
  state.postfilter_memory.fill(0.0);
  state.tilt_memory = 0.0;
  state.agc_gain = 1.0;
  state.synthesis_buffer.fill(0.0);
  state.previous_lsf_mode = 0;
  state.received_frame_kind = static_cast<std::int32_t>(FrameKind::Speech);
  state.erasure_seed = kErasureSeedStart;
}

}  // namespace g729a
