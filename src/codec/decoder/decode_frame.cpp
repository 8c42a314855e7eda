#include <array>
#include <cmath>
#include <span>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/frame_format.h"
#include "codec/common/lp.h"
#include "codec/common/lp_filter.h"
#include "codec/common/lsf.h"
#include "codec/common/numeric.h"
#include "codec/common/tables.h"
#include "codec/decoder/output_stage.h"
#include "codec/decoder/parameter_decoding.h"
#include "codec/decoder/postfilter.h"
#include "codec/decoder/sid_decode.h"
#include "codec/decoder/state_guard.h"
#include "codec/decoder/synthesis.h"
#include "g729a/codec.h"

namespace g729a {
namespace {

// A1 from the midpoint of the previous and new LSPs, A2 from the new ones;
// the new LSPs become the previous ones. in: lsp_new; inout: lsp_previous;
// out: A.
void interpolate_lp(std::span<const double, 10> lsp_new, std::array<double, 10>& lsp_previous,
                    std::array<LpVector, 2>& A) {
  lsp_interpolate(lsp_previous, lsp_new, A);
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
  }
}

// in: fp (Sid); inout: state; out: A (per subframe).
void decode_sid(DecoderState& state, const FrameParameters& fp, std::array<LpVector, 2>& A) {
  const auto& p = fp.slots;
  sid_decode(state, p[kSlotSidSwitch], p[kSlotSidStage1], p[kSlotSidStage2], p[kSlotSidEnergy]);
  interpolate_lp(state.sid_lsp, state.lsp_previous, A);
  state.pitch_sharpening = kSharpeningMin;
}

// Synthesis of both subframes and the post-filter, the second subframe's
// synthesis filter running beside the first subframe's post-filter
// synthesis (it does not need it), so their recursions overlap. Speech
// subframes flush tiny synthesis memory values, comfort-noise ones do not.
// in: A, kind, T; inout: state; out: post.
void synthesize_and_postfilter(DecoderState& state, const std::array<LpVector, 2>& A,
                               FrameKind kind, const std::array<int, 2>& T,
                               std::array<double, 80>& post) {
  const bool flush = kind == FrameKind::Speech;
  double* exc = state.excitation_buffer.data() + kExcitationHistory;
  double* syn = state.synthesis_buffer.data() + kSynthesisHistory;
  std::array<PostfilterFilters, 2> filters;
  postfilter_filters(A, filters);
  synthesis_filter(A[0], exc, state.synthesis_memory, syn, flush);

  PostfilterStage first;
  postfilter_front(state, filters[0], kind, T[0], 0, first);
  std::array<double, 50> buf;  // ten past outputs, then the second subframe
  for (int i = 0; i < 10; ++i) buf[i] = state.synthesis_memory[i];
  lp_synthesis_pair(A[1], exc + 40, buf.data() + 10, first.Ad, first.p.data(), first.y.data() + 10,
                    40);
  for (int n = 0; n < 40; ++n) syn[40 + n] = buf[10 + n];
  for (int i = 0; i < 10; ++i) {
    state.synthesis_memory[i] = flush ? flush_small(buf[40 + i]) : buf[40 + i];
  }
  postfilter_back(state, first, 0, post);

  PostfilterStage second;
  postfilter_front(state, filters[1], kind, T[1], 1, second);
  lp_synthesis(second.Ad, second.p.data(), second.y.data() + 10, 40);
  postfilter_back(state, second, 1, post);
}

}  // namespace

bool decoder_decode(DecoderState& state, std::span<const std::uint8_t> frame,
                    std::span<std::int16_t, kFrameLength> pcm) {
  // Checked before narrowing: a size beyond int must not wrap to a valid one.
  if (frame.size() != kSpeechFrameBytes && frame.size() != kSidFrameBytes) return false;
  FrameParameters fp;
  if (!unpack_frame(frame.data(), static_cast<int>(frame.size()), fp)) return false;

  std::array<LpVector, 2> A;
  std::array<int, 2> T = {0, 0};
  if (fp.kind == FrameKind::Speech) {
    decode_speech(state, fp, A, T);
  } else {
    decode_sid(state, fp, A);
  }
  state.previous_frame_kind = static_cast<std::int32_t>(fp.kind);

  std::array<double, 80> post;
  synthesize_and_postfilter(state, A, fp.kind, T, post);

  auto& exc = state.excitation_buffer;
  for (int i = 0; i < kExcitationHistory; ++i) exc[i] = exc[i + kFrameLength];

  auto& syn = state.synthesis_buffer;
  for (int i = 0; i < kSynthesisHistory; ++i) syn[i] = syn[i + kFrameLength];

  output_stage(post, state.postproc_memory, pcm);

  // A runaway stream restarts the channel before its values can overflow.
  if (!decoder_state_within_bounds(state)) decoder_init(state);
  return true;
}

}  // namespace g729a
