#include "codec/decoder/concealment.h"

#include <cmath>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/tables.h"
#include "codec/decoder/cng_excitation.h"
#include "codec/decoder/parameter_decoding.h"
#include "codec/simd/lanes.h"

namespace g729a {
namespace {

constexpr double kPitchGainDecay = 0.9;
constexpr double kPitchGainCap = 0.9;
constexpr double kCodeGainDecay = 0.98;
constexpr double kPredictorStepDb = 4.0;
constexpr double kPredictorFloorDb = -14.0;

}  // namespace

void lsf_memory_repeat(const std::array<double, 10>& lsp_previous, int mode, LsfMaMemory& memory) {
  LsfVector buf;
  for (int j = 0; j < 10; ++j) {
    double predicted = 0.0;
    for (int k = 0; k < 4; ++k) predicted += memory[k][j] * lsf_ma_coef[mode][k][j];
    buf[j] = (std::acos(lsp_previous[j]) - predicted) / lsf_ma_coef_sum[mode][j];
  }
  memory[3] = memory[2];
  memory[2] = memory[1];
  memory[1] = memory[0];
  memory[0] = buf;
}

void gain_predictor_conceal(GainPredictorMemory& memory) {
  double value = (memory[0] + memory[1] + memory[2] + memory[3]) * 0.25 - kPredictorStepDb;
  if (value < kPredictorFloorDb) value = kPredictorFloorDb;
  memory[3] = memory[2];
  memory[2] = memory[1];
  memory[1] = memory[0];
  memory[0] = value;
}

void erased_excitation(DecoderState& state, int position, int& T) {
  T = state.previous_pitch_delay;
  if (state.previous_pitch_delay < kPitchMax) ++state.previous_pitch_delay;

  double* exc = state.excitation_buffer.data() + position;
  adaptive_codebook_vector(exc, T, 0);

  const int C = cng_random(state.erasure_seed) & 0x1FFF;
  const int S = cng_random(state.erasure_seed) & 0xF;
  CodeVector cv;
  fixed_codebook_decode(C, S, cv);
  pitch_sharpen(T, state.pitch_sharpening, cv.data());

  double gp = kPitchGainDecay * state.gain_pitch;
  if (gp > kPitchGainCap) gp = kPitchGainCap;
  state.gain_pitch = gp;
  state.gain_code = kCodeGainDecay * state.gain_code;
  gain_predictor_conceal(state.gain_predictor_memory);
  state.pitch_sharpening = bound_pitch_sharpening(state.gain_pitch);

  weighted_sum(state.gain_pitch, exc, state.gain_code, cv.data(), exc);
}

}  // namespace g729a
