#include <array>
#include <span>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/frame_format.h"
#include "codec/common/lp.h"
#include "codec/common/lp_filter.h"
#include "codec/common/lsf.h"
#include "codec/common/tables.h"
#include "codec/decoder/cng_excitation.h"
#include "codec/decoder/concealment.h"
#include "codec/decoder/envelope.h"
#include "codec/decoder/excitation.h"
#include "codec/decoder/output_stage.h"
#include "codec/decoder/parameter_decoding.h"
#include "codec/decoder/postfilter.h"
#include "codec/decoder/schedule.h"
#include "codec/decoder/sid_decode.h"
#include "codec/decoder/state_guard.h"
#include "codec/decoder/synthesis.h"
#include "codec/maths/portable_math.h"
#include "codec/simd/lanes.h"
#include "g729a/codec.h"

namespace g729a {
namespace {

// in: fp (Speech); inout: state; out: f.
void decode_speech(DecoderState& state, const FrameParameters& fp, FrameSynthesis& f) {
  const auto& p = fp.slots;
  state.cng_seed = kCngSeedStart;

  speech_envelope(state, fp, f.A);

  const int pitch_index[2] = {p[kSlotP1], p[kSlotP2]};
  const int C[2] = {p[kSlotC1], p[kSlotC2]};
  const int S[2] = {p[kSlotS1], p[kSlotS2]};
  const int gain_index[2] = {p[kSlotGain1], p[kSlotGain2]};
  int delay = 0;
  for (int s = 0; s < 2; ++s) {
    const int position = kExcitationHistory + 40 * s;
    speech_excitation(state, position, s, pitch_index[s], p[kSlotP0], C[s], S[s], gain_index[s],
                      delay, s == 1 ? &f.second : nullptr);
    f.T[s] = delay;
  }
  f.second_pending = true;
  f.kind = FrameKind::Speech;
}

// The previous envelope repeated, the excitation continued from the past;
// the frame then counts as speech. inout: state; out: f.
void conceal_speech(DecoderState& state, FrameSynthesis& f) {
  concealed_envelope_and_excitation(state, f.A, f.T);
  f.kind = FrameKind::Speech;
}

// A comfort-noise frame whose excitation is in place and whose envelope is
// sid_lsp. inout: state; out: f.
void synthesize_comfort_noise(DecoderState& state, FrameSynthesis& f) {
  comfort_noise_envelope(state, f.A);
  f.kind = FrameKind::Sid;
  f.flush = false;
}

// in: fp (Sid); inout: state; out: f.
void decode_sid(DecoderState& state, const FrameParameters& fp, FrameSynthesis& f) {
  const auto& p = fp.slots;
  sid_decode(state, p[kSlotSidSwitch], p[kSlotSidStage1], p[kSlotSidStage2], p[kSlotSidEnergy],
             &f.second);
  f.second_pending = true;
  synthesize_comfort_noise(state, f);
}

// A DTX gap continues the last SID frame's noise: the gain moves on towards
// the received one, envelope and predictor memories stay. inout: state;
// out: f.
void continue_comfort_noise(DecoderState& state, FrameSynthesis& f) {
  sid_gain_continue(state);
  comfort_noise_excitation(state.excitation_buffer.data() + kExcitationHistory, state.cng_seed,
                           state.sid_gain, &f.second);
  f.second_pending = true;
  synthesize_comfort_noise(state, f);
}

// The end every frame shares: synthesis, post-filter, output stage and
// history shift. in: f; inout: state; out: pcm.
void finish_frame(const FrameSynthesis& f, DecoderState& state,
                  std::span<std::int16_t, kFrameLength> pcm) {
  state.previous_frame_kind = static_cast<std::int32_t>(f.kind);
  synthesis_postfilter_and_output(state, f, pcm);

  auto& exc = state.excitation_buffer;
  for (int i = 0; i < kExcitationHistory; ++i) exc[i] = exc[i + kFrameLength];

  auto& syn = state.synthesis_buffer;
  for (int i = 0; i < kSynthesisHistory; ++i) syn[i] = syn[i + kFrameLength];

  auto& res = state.residual_buffer;
  for (int i = 0; i < kResidualHistory; ++i) res[i] = res[i + kFrameLength];
}

// The next frame of the comfort noise. inout: state; out: pcm.
void decode_comfort_noise(DecoderState& state, std::span<std::int16_t, kFrameLength> pcm) {
  FrameSynthesis f;
  continue_comfort_noise(state, f);
  finish_frame(f, state, pcm);
  restart_if_not_finite(state);
}

}  // namespace

bool decoder_decode_unguarded(DecoderState& state, std::span<const std::uint8_t> frame,
                              std::span<std::int16_t, kFrameLength> pcm) {
  // Checked before narrowing: a size beyond int must not wrap to a valid one.
  if (frame.size() != kSpeechFrameBytes && frame.size() != kSidFrameBytes) return false;
  FrameParameters fp;
  if (!unpack_frame(frame.data(), static_cast<int>(frame.size()), fp)) return false;

  FrameSynthesis f;
  state.received_frame_kind = static_cast<std::int32_t>(fp.kind);
  if (fp.kind == FrameKind::Speech) {
    decode_speech(state, fp, f);
  } else {
    decode_sid(state, fp, f);
  }
  finish_frame(f, state, pcm);
  return true;
}

bool decoder_decode(DecoderState& state, std::span<const std::uint8_t> frame,
                    std::span<std::int16_t, kFrameLength> pcm) {
  if (!decoder_decode_unguarded(state, frame, pcm)) return false;
  restart_if_not_finite(state);
  return true;
}

void decoder_decode_erased(DecoderState& state, std::span<std::int16_t, kFrameLength> pcm) {
  // Inside a silence period (after a SID frame or comfort noise) a lost frame
  // is most likely an untransmitted one, or a lost SID update: the noise goes on.
  if (state.previous_frame_kind == static_cast<std::int32_t>(FrameKind::Sid)) {
    decode_comfort_noise(state, pcm);
    return;
  }
  FrameSynthesis f;
  conceal_speech(state, f);
  finish_frame(f, state, pcm);
  restart_if_not_finite(state);
}

void decoder_decode_untransmitted(DecoderState& state, std::span<std::int16_t, kFrameLength> pcm) {
  // Without a SID frame since the last speech there is no noise to continue.
  if (state.received_frame_kind != static_cast<std::int32_t>(FrameKind::Sid)) {
    decoder_decode_erased(state, pcm);
    return;
  }
  decode_comfort_noise(state, pcm);
}

}  // namespace g729a
