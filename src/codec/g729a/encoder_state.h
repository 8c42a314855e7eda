// Per-channel encoder record. Plain data with no pointers, so its owner may
// place it in any block of the right size.
#pragma once

#include <array>

#include "g729a/frame_geometry.h"

namespace g729a {

// Fixed positions inside the state's buffers.
inline constexpr int kSpeechWindow = 0;
inline constexpr int kSpeechFrame = kSpeechHistory;
inline constexpr int kSpeechNew = kAnalysisWindow - kFrameLength;
inline constexpr int kWeightedSpeechFrame = kWeightedSpeechHistory;
inline constexpr int kExcitationFrame = kExcitationHistory;

struct EncoderState {
  // Older samples, the frame being coded, look-ahead; pre-processed.
  std::array<double, kAnalysisWindow> speech_buffer;
  // Past weighted samples, then the current frame's.
  std::array<double, kWeightedSpeechHistory + kFrameLength> weighted_speech_buffer;
  // Past excitation samples, then the current frame's.
  std::array<double, kExcitationHistory + kFrameLength> excitation_buffer;
  std::array<double, kLpOrder> lsp_previous;
  std::array<double, kLpOrder> lsp_previous_quantized;
  std::array<double, kLpOrder> target_filter_memory;
  std::array<double, kLpOrder> weighted_speech_filter_memory;
  std::array<double, kLpOrder> zero_filter_memory;
  double pitch_sharpening;
  LsfMaMemory lsf_ma_memory;
  std::array<double, 4> taming_error;
  std::array<double, 4> gain_predictor_memory;
  BiquadMemory preprocess_memory;  // the input high-pass filter
};

}  // namespace g729a
