#include "codec/decoder/excitation.h"

#include "codec/common/gain_prediction.h"
#include "codec/common/lp.h"
#include "codec/common/tables.h"
#include "codec/decoder/parameter_decoding.h"

namespace g729a {

void speech_excitation(DecoderState& state, int position, int s, int pitch_index, int parity_error,
                       int C, int S, int gain_index, int& T, PendingExcitation* pending) {
  int f = 0;
  if (s == 0 && parity_error) {
    T = state.previous_pitch_delay;
  } else {
    pitch_delay_decode(pitch_index, kPitchMin, kPitchMax, s, T, f);
  }
  state.previous_pitch_delay = T;

  if (pending != nullptr) {
    adaptive_codebook_plan(T, f, pending->plan);
  } else {
    adaptive_codebook_vector(state.excitation_buffer.data() + position, T, f);
  }

  CodeVector local;
  CodeVector& cv = pending != nullptr ? pending->cv : local;
  fixed_codebook_decode(C, S, cv);
  pitch_sharpen(T, state.pitch_sharpening, cv.data());
  gain_decode(gain_index, cv, T, state.gain_predictor_memory, state.gain_pitch, state.gain_code);
  state.pitch_sharpening = bound_pitch_sharpening(state.gain_pitch);

  if (pending != nullptr) {
    pending->gain_pitch = state.gain_pitch;
    pending->gain_code = state.gain_code;
    return;
  }
  double* exc = state.excitation_buffer.data() + position;
  weighted_sum(state.gain_pitch, exc, state.gain_code, cv.data(), exc);
}

}  // namespace g729a
