// The decoder's frame in the order of its steps: parameters, envelope and
// excitation, synthesis of each subframe, then the post-filter of each
// subframe and the output stage.
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
#include "codec/decoder/parameter_decoding.h"
#include "codec/decoder/sid_decode.h"
#include "codec/decoder/state_guard.h"
#include "codec/decoder/synthesis.h"
#include "codec/maths/portable_math.h"
#include "codec/reference/decoder_stages.h"
#include "codec/reference/reference.h"
#include "codec/simd/lanes.h"

namespace g729a {
namespace {

// What a frame's own road hands to the steps every frame shares.
struct DecodedFrame {
  std::array<LpVector, 2> A;
  std::array<int, 2> T = {0, 0};
  FrameKind kind = FrameKind::Speech;
  bool flush = true;  // speech subframes store tiny synthesis memory values as 0
};

// A speech frame up to its excitation. in: fp; inout: state; out: d.
void decode_speech(const FrameParameters& fp, DecoderState& state, DecodedFrame& d) {
  const auto& p = fp.slots;
  // 1. Each silence period's noise starts from the same seed.
  state.cng_seed = kCngSeedStart;
  // 2-4. LSFs from the codebooks and the MA predictor of mode L0, their
  // LSPs, the interpolated subframe filters.
  speech_envelope(state, fp, d.A);
  // 5.1. Each subframe's excitation and pitch delay.
  const int pitch_index[2] = {p[kSlotP1], p[kSlotP2]};
  const int C[2] = {p[kSlotC1], p[kSlotC2]};
  const int S[2] = {p[kSlotS1], p[kSlotS2]};
  const int gain_index[2] = {p[kSlotGain1], p[kSlotGain2]};
  int T = 0;
  for (int s = 0; s < 2; ++s) {
    speech_excitation(state, kExcitationHistory + kSubframeLength * s, s, pitch_index[s],
                      p[kSlotP0], C[s], S[s], gain_index[s], T, nullptr);
    d.T[s] = T;
  }
  d.kind = FrameKind::Speech;
  d.flush = true;
}

// A comfort-noise frame whose excitation stands: interpolation towards
// sid_lsp, no pitch sharpening. inout: state; out: d.
void comfort_noise_frame(DecoderState& state, DecodedFrame& d) {
  comfort_noise_envelope(state, d.A);
  d.kind = FrameKind::Sid;
  d.flush = false;
}

// A SID frame: envelope, gain and the frame's noise excitation.
// in: fp; inout: state; out: d.
void decode_sid(const FrameParameters& fp, DecoderState& state, DecodedFrame& d) {
  const auto& p = fp.slots;
  sid_decode(state, p[kSlotSidSwitch], p[kSlotSidStage1], p[kSlotSidStage2], p[kSlotSidEnergy]);
  comfort_noise_frame(state, d);
}

// An erased frame: the previous envelope repeated (the LSF predictor
// advanced to match it), the excitation continued at the previous delay.
// inout: state; out: d.
void conceal(DecoderState& state, DecodedFrame& d) {
  concealed_envelope_and_excitation(state, d.A, d.T);
  d.kind = FrameKind::Speech;
  d.flush = true;
}

// A DTX gap after a SID frame: the gain moves on towards the received one,
// the noise continues under the last SID envelope. inout: state; out: d.
void continue_comfort_noise(DecoderState& state, DecodedFrame& d) {
  sid_gain_continue(state);
  comfort_noise_excitation(state.excitation_buffer.data() + kExcitationHistory, state.cng_seed,
                           state.sid_gain);
  comfort_noise_frame(state, d);
}

// Synthesis of subframe s through 1/A(z) into the synthesis buffer, and the
// filter's memory kept. in: d, s; inout: state.
void synthesize_subframe_into_buffer(const DecodedFrame& d, int s, DecoderState& state) {
  std::array<double, 10 + kSubframeLength> y;  // ten past outputs, then the subframe
  for (int i = 0; i < 10; ++i) y[i] = state.synthesis_memory[i];
  const double* e = state.excitation_buffer.data() + kExcitationHistory + kSubframeLength * s;
  lp_synthesis(d.A[s], e, y.data() + 10, kSubframeLength);
  double* out = state.synthesis_buffer.data() + kSynthesisHistory + kSubframeLength * s;
  for (int n = 0; n < kSubframeLength; ++n) out[n] = y[10 + n];
  keep_synthesis_memory(std::span<const double, 10>(y.data() + kSubframeLength, 10), d.flush,
                        state.synthesis_memory);
}

// The steps every frame shares once its excitation stands. in: d; inout:
// state; out: pcm.
void finish_frame(const DecodedFrame& d, DecoderState& state,
                  std::span<std::int16_t, kFrameLength> pcm) {
  // Synthesis of each subframe.
  for (int s = 0; s < 2; ++s) synthesize_subframe_into_buffer(d, s, state);
  // The frame's kind for the next frame.
  state.previous_frame_kind = static_cast<std::int32_t>(d.kind);
  // The excitation's newest samples become its past.
  auto& exc = state.excitation_buffer;
  for (int i = 0; i < kExcitationHistory; ++i) exc[i] = exc[i + kFrameLength];
  // Post-filter of each subframe.
  std::array<double, kFrameLength> postfiltered;
  for (int s = 0; s < 2; ++s) {
    postfilter_subframe(state, d.A[s], d.kind, d.T[s], s, postfiltered);
  }
  // The residual's and the synthesis's newest samples become their past.
  auto& res = state.residual_buffer;
  for (int i = 0; i < kResidualHistory; ++i) res[i] = res[i + kFrameLength];
  auto& syn = state.synthesis_buffer;
  for (int i = 0; i < kSynthesisHistory; ++i) syn[i] = syn[i + kFrameLength];
  // Output high-pass filter, rounding and saturation.
  output_stage(postfiltered, state.postproc_memory, pcm);
}

}  // namespace

bool reference_decode(DecoderState& state, std::span<const std::uint8_t> frame,
                      std::span<std::int16_t, kFrameLength> pcm) {
  // Unpack: 10 bytes of speech or a 2-byte SID frame, nothing else.
  if (frame.size() != kSpeechFrameBytes && frame.size() != kSidFrameBytes) return false;
  FrameParameters fp;
  if (!unpack_frame(frame.data(), static_cast<int>(frame.size()), fp)) return false;
  state.received_frame_kind = static_cast<std::int32_t>(fp.kind);
  DecodedFrame d;
  if (fp.kind == FrameKind::Speech) {
    decode_speech(fp, state, d);
  } else {
    decode_sid(fp, state, d);
  }
  finish_frame(d, state, pcm);
  restart_if_not_finite(state);
  return true;
}

void reference_decode_erased(DecoderState& state, std::span<std::int16_t, kFrameLength> pcm) {
  DecodedFrame d;
  // Inside a silence period (after a SID frame or comfort noise) a lost frame
  // is taken as an untransmitted one: the noise goes on.
  if (state.previous_frame_kind == static_cast<std::int32_t>(FrameKind::Sid)) {
    continue_comfort_noise(state, d);
    finish_frame(d, state, pcm);
    restart_if_not_finite(state);
    return;
  }
  conceal(state, d);
  finish_frame(d, state, pcm);
  restart_if_not_finite(state);
}

void reference_decode_untransmitted(DecoderState& state,
                                    std::span<std::int16_t, kFrameLength> pcm) {
  // Without a SID frame since the last speech there is no noise to continue.
  if (state.received_frame_kind != static_cast<std::int32_t>(FrameKind::Sid)) {
    reference_decode_erased(state, pcm);
    return;
  }
  DecodedFrame d;
  continue_comfort_noise(state, d);
  finish_frame(d, state, pcm);
  restart_if_not_finite(state);
}

}  // namespace g729a
