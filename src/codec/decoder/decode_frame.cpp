#include <array>
#include <cmath>
#include <span>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/frame_format.h"
#include "codec/common/lp.h"
#include "codec/common/lsf.h"
#include "codec/common/tables.h"
#include "codec/decoder/decoder.h"
#include "codec/decoder/output_stage.h"
#include "codec/decoder/parameter_decoding.h"
#include "codec/decoder/postfilter.h"
#include "codec/decoder/sid_decode.h"
#include "codec/decoder/state_guard.h"
#include "codec/decoder/synthesis.h"

namespace g729a {
namespace {

constexpr int kSynthesisHistory = 10;

using LpVector = std::array<double, 11>;

// A1 from the midpoint of the previous and new LSPs, A2 from the new ones;
// the new LSPs become the previous ones. in: lsp_new; inout: lsp_previous;
// out: A.
void interpolate_lp(std::span<const double, 10> lsp_new, std::array<double, 10>& lsp_previous,
                    std::array<LpVector, 2>& A) {
  std::array<double, 10> lsp_sub1;
  for (int i = 0; i < 10; ++i) lsp_sub1[i] = 0.5 * lsp_previous[i] + 0.5 * lsp_new[i];
  lsp_to_lp(lsp_sub1, A[0]);
  lsp_to_lp(lsp_new, A[1]);
  for (int i = 0; i < 10; ++i) lsp_previous[i] = lsp_new[i];
}

// One speech subframe's excitation at `position` of excitation_buffer.
// in: the subframe's parameters; inout: state, T (the first subframe's
// delay on entry for the second).
void speech_excitation(DecoderState& state, int position, int s, int pitch_index, int parity_error,
                       int C, int S, int gain_index, int& T) {
  int f = 0;
  if (s == 0 && parity_error) {
    T = state.previous_pitch_delay;
  } else {
    pitch_delay_decode(pitch_index, kPitchMin, kPitchMax, s, T, f);
  }
  state.previous_pitch_delay = T;

  double* exc = state.excitation_buffer.data() + position;
  adaptive_codebook_vector(exc, T, f);

  CodeVector cv;
  fixed_codebook_decode(C, S, cv);
  pitch_sharpen(T, state.pitch_sharpening, cv.data());
  gain_decode(gain_index, cv, state.gain_predictor_memory, state.gain_pitch, state.gain_code);
  state.pitch_sharpening = bound_pitch_sharpening(state.gain_pitch);

  for (int n = 0; n < 40; ++n) exc[n] = state.gain_pitch * exc[n] + state.gain_code * cv[n];
}

// in: fp (Speech); inout: state; out: A (per subframe), T (integer delays).
void decode_speech(DecoderState& state, const FrameParameters& fp, std::array<LpVector, 2>& A,
                   std::array<int, 2>& T) {
  const auto& p = fp.slots;
  state.cng_seed = kCngSeedStart;

  const int mode = (p[kSlotL0L1] >> 7) & 1;
  LsfVector lsf;
  lsf_reconstruct(lsf_cb1, lsf_cb2, p[kSlotL0L1] & 127, (p[kSlotL2L3] >> 5) & 31, p[kSlotL2L3] & 31,
                  lsf_ma_coef[mode], state.lsf_ma_memory, lsf, lsf_ma_coef_sum[mode]);
  std::array<double, 10> lsp_new;
  for (int i = 0; i < 10; ++i) lsp_new[i] = std::cos(lsf[i]);
  interpolate_lp(lsp_new, state.lsp_previous, A);

  const int pitch_index[2] = {p[kSlotP1], p[kSlotP2]};
  const int C[2] = {p[kSlotC1], p[kSlotC2]};
  const int S[2] = {p[kSlotS1], p[kSlotS2]};
  const int gain_index[2] = {p[kSlotGain1], p[kSlotGain2]};
  int delay = 0;
  for (int s = 0; s < 2; ++s) {
    const int position = kExcitationHistory + 40 * s;
    speech_excitation(state, position, s, pitch_index[s], p[kSlotP0], C[s], S[s], gain_index[s],
                      delay);
    T[s] = delay;
    // Speech subframes flush tiny memory values, comfort-noise ones do not.
    synthesis_filter(A[s], state.excitation_buffer.data() + position, state.synthesis_memory,
                     state.synthesis_buffer.data() + kSynthesisHistory + 40 * s, true);
  }
}

// in: fp (Sid); inout: state; out: A (per subframe).
void decode_sid(DecoderState& state, const FrameParameters& fp, std::array<LpVector, 2>& A) {
  const auto& p = fp.slots;
  sid_decode(state, p[kSlotSidSwitch], p[kSlotSidStage1], p[kSlotSidStage2], p[kSlotSidEnergy]);
  interpolate_lp(state.sid_lsp, state.lsp_previous, A);
  for (int s = 0; s < 2; ++s) {
    synthesis_filter(A[s], state.excitation_buffer.data() + kExcitationHistory + 40 * s,
                     state.synthesis_memory,
                     state.synthesis_buffer.data() + kSynthesisHistory + 40 * s, false);
  }
  state.pitch_sharpening = kSharpeningMin;
}

}  // namespace

int decode_frame_unguarded(DecoderState& state, std::int16_t* out, const std::uint8_t* payload,
                           int length) {
  FrameParameters fp;
  if (!unpack_frame(payload, length, fp)) return -1;

  std::array<LpVector, 2> A;
  std::array<int, 2> T = {0, 0};
  if (fp.kind == FrameKind::Speech) {
    decode_speech(state, fp, A, T);
  } else {
    decode_sid(state, fp, A);
  }
  state.previous_frame_kind = static_cast<std::int32_t>(fp.kind);

  auto& exc = state.excitation_buffer;
  for (int i = 0; i < kExcitationHistory; ++i) exc[i] = exc[i + kFrameLength];

  std::array<double, 80> post;
  for (int s = 0; s < 2; ++s) postfilter_subframe(state, A[s], fp.kind, T[s], s, post);

  auto& syn = state.synthesis_buffer;
  for (int i = 0; i < kSynthesisHistory; ++i) syn[i] = syn[i + kFrameLength];

  output_stage(post, state.postproc_memory, std::span<std::int16_t, 80>(out, 80));
  return 0;
}

int decode_frame(DecoderState& state, std::int16_t* out, const std::uint8_t* payload, int length) {
  if (decode_frame_unguarded(state, out, payload, length) != 0) return -1;
  // A runaway stream that has overflowed restarts the channel; its samples
  // of this frame are already defined (conversion saturates, NaN gives 0).
  if (!decoder_state_finite(state)) decoder_state_init(state);
  return 0;
}

}  // namespace g729a
