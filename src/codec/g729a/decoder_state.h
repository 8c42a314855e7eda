// Per-channel decoder record. Plain data with no pointers, so its owner may
// place it in any block of the right size.
#pragma once

#include <array>
#include <cstdint>

#include "g729a/frame_geometry.h"

namespace g729a {

struct DecoderState {
  // Past excitation samples, then the current frame's.
  std::array<double, kExcitationHistory + kFrameLength> excitation_buffer;
  std::array<double, kLpOrder> lsp_previous;
  std::array<double, kLpOrder> synthesis_memory;  // most recent last
  double pitch_sharpening;
  std::int32_t previous_pitch_delay;
  double gain_code;
  double gain_pitch;
  std::int32_t previous_frame_kind;  // FrameKind of the previous frame
  std::int16_t cng_seed;
  LsfMaMemory lsf_ma_memory;
  double sid_gain;
  std::array<double, kLpOrder> sid_lsp;
  double sid_received_gain;
  std::array<double, 4> gain_predictor_memory;  // dB, index 0 most recent
  BiquadMemory postproc_memory;                 // the output high-pass filter
  // Past residual samples, then the current frame's (both subframes, so
  // the second's can form while the first is still being post-filtered).
  std::array<double, kResidualHistory + kFrameLength> residual_buffer;
  std::array<double, kLpOrder> postfilter_memory;
  double tilt_memory;
  double agc_gain;
  // Past synthesized samples, then the current frame's.
  std::array<double, kSynthesisHistory + kFrameLength> synthesis_buffer;
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
