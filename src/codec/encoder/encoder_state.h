// Per-channel encoder record: codec histories and memories, followed by the
// encoder translator's own fields. Plain data with no pointers, so the host
// may place it in any block of the right size.
#pragma once

#include <array>
#include <cstdint>

#include "codec/common/lsf.h"

namespace g729a {

// Fixed positions inside the state's buffers. The codec uses these constants
// rather than the copies stored in the record, so a damaged block can never
// send it outside its own buffers.
inline constexpr int kSpeechFrame = 120;
inline constexpr int kSpeechWindow = 0;
inline constexpr int kSpeechNew = 160;
inline constexpr int kWeightedSpeechFrame = 143;
inline constexpr int kExcitationFrame = 154;

struct EncoderState {
  // 120 older samples, the 80 being coded, 40 look-ahead.
  std::array<double, 240> speech_buffer;
  std::int32_t speech_frame;   // index 120
  std::int32_t speech_window;  // index 0
  std::int32_t speech_new;     // index 160
  // 143 past weighted samples, then the current frame's 80.
  std::array<double, 223> weighted_speech_buffer;
  std::int32_t weighted_speech_frame;  // index 143
  // 154 past excitation samples, then the current frame's 80.
  std::array<double, 234> excitation_buffer;
  std::int32_t excitation_frame;  // index 154
  std::array<double, 10> lsp_previous;
  std::array<double, 10> lsp_previous_quantized;
  std::array<double, 10> target_filter_memory;
  std::array<double, 10> weighted_speech_filter_memory;
  std::array<double, 10> zero_filter_memory;
  double pitch_sharpening;
  LsfMaMemory lsf_ma_memory;
  std::array<double, 4> taming_error;
  std::array<double, 4> gain_predictor_memory;

  // Encoder translator: pre-processing filter memories and input buffer.
  double hp_x1;
  double hp_x2;
  double hp_y1;
  double hp_y2;
  std::array<std::int16_t, 8000> input_buffer;
};

}  // namespace g729a
