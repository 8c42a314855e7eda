// Per-channel decoder record. Plain data with no pointers, so the host may
// place it in any block of the right size.
#pragma once

#include <array>
#include <cstdint>

#include "codec/common/lsf.h"

namespace g729a {

// Comfort-noise seed at start and after every speech frame, so each silence
// period's noise starts from the same sequence.
inline constexpr std::int16_t kCngSeedStart = 11111;

// Seed of the erased-frame codebook draws at start.
inline constexpr std::int16_t kErasureSeedStart = 21845;

struct DecoderState {
  // 154 past samples, then the current frame's 80.
  std::array<double, 234> excitation_buffer;
  std::array<double, 10> lsp_previous;
  std::array<double, 10> synthesis_memory;  // most recent last
  double pitch_sharpening;
  std::int32_t previous_pitch_delay;
  double gain_code;
  double gain_pitch;
  std::int32_t previous_frame_kind;  // FrameKind of the previous frame
  std::int16_t cng_seed;
  LsfMaMemory lsf_ma_memory;
  double sid_gain;
  std::array<double, 10> sid_lsp;
  double sid_received_gain;
  std::array<std::array<std::array<double, 10>, 4>, 2> cng_ma_coef;
  std::array<double, 4> gain_predictor_memory;  // dB, index 0 most recent
  std::array<double, 4> postproc_memory;        // x1, x2, y1, y2
  // 143 past residual samples, then the current subframe's 40.
  std::array<double, 183> residual_buffer;
  std::array<double, 10> postfilter_memory;
  double tilt_memory;
  double agc_gain;
  // 10 samples of the previous frame, then the current frame's 80.
  std::array<double, 90> synthesis_buffer;
  // Predictor mode (L0) of the last speech frame: erased frames advance the
  // LSF predictor memory with it.
  std::int32_t previous_lsf_mode;
  // FrameKind of the last frame that arrived (erased and untransmitted
  // frames leave it): a DTX gap continues comfort noise only after a SID.
  std::int32_t received_frame_kind;
  // Draws the erased frames' codebook indices; apart from cng_seed so that
  // losses do not change the comfort-noise sequence.
  std::int16_t erasure_seed;
};

}  // namespace g729a
