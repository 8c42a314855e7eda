// Per-channel encoder record. Plain data with no pointers, so its owner may
// place it in any block of the right size.
#pragma once

#include <array>
#include <cstdint>

#include "g729a/frame_geometry.h"

namespace g729a {

// Fixed positions inside the state's buffers.
inline constexpr int kSpeechWindow = 0;
inline constexpr int kSpeechFrame = kSpeechHistory;
inline constexpr int kSpeechNew = kAnalysisWindow - kFrameLength;
inline constexpr int kWeightedSpeechFrame = kWeightedSpeechHistory;
inline constexpr int kExcitationFrame = kExcitationHistory;

// What the voice activity detector measures on one frame.
struct VadFeatures {
  double energy;    // dB, mean power of the analysis window
  double low;       // dB, the same below about 1 kHz
  LsfVector lsf;    // radians
  double distance;  // squared LSF distance from the background's
};

// The voice activity detector: background estimates, learnt from frames it
// judges inactive, and the hangover that keeps word endings.
struct VadState {
  std::int32_t hangover;    // frames still to send as speech
  std::int32_t active_run;  // consecutive frames judged active on their own
  std::int32_t block_frames;
  double energy_bg;
  double low_bg;
  double speech_level;  // dB, running energy of clearly active frames
  LsfVector lsf_bg;
  // Minimum of the frame energy over the current and the previous block:
  // lets the background rise to a louder steady noise.
  double block_min;
  double block_low;  // low-band energy of the block's quietest frame
  double previous_block_min;
  double previous_block_low;
  LsfVector block_lsf;  // LSFs of the block's quietest frame
  LsfVector previous_block_lsf;
  VadFeatures last;
  bool active;
};

// Discontinuous transmission: the recent inactive frames the SID
// parameters describe, and a mirror of what a decoder holds during
// silence so both sides continue alike.
inline constexpr int kDtxHistory = 6;

struct DtxState {
  std::array<std::array<double, kLpOrder + 1>, kDtxHistory> r_history;
  std::int32_t history_count;
  std::int32_t history_next;
  std::int32_t frames_since_sid;
  std::int32_t sid_energy_index;  // of the last SID frame sent
  LpVector sid_filter;            // LP filter of the last SID frame sent
  // The decoder's comfort-noise fields, as a decoder that received the
  // same frames holds them.
  std::int16_t cng_seed;
  std::int32_t previous_frame_kind;  // 1 speech, 2 SID or untransmitted
  double sid_gain;
  double sid_received_gain;
  std::array<double, kLpOrder> sid_lsp;
};

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
  bool dtx;                        // voice activity detection and SID frames
  VadState vad;
  DtxState dtx_state;
};

}  // namespace g729a
