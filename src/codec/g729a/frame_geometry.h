// The codec's frame geometry and vector shapes: every buffer length in the
// state records and the steps is derived from these.
#pragma once

#include <array>

namespace g729a {

inline constexpr int kFrameLength = 80;     // 10 ms at 8 kHz
inline constexpr int kSubframeLength = 40;  // 5 ms
inline constexpr int kSubframes = kFrameLength / kSubframeLength;
inline constexpr int kLpOrder = 10;
inline constexpr int kPitchMin = 20;
inline constexpr int kPitchMax = 143;
// Bytes of a speech frame and of a SID (comfort-noise) frame.
inline constexpr int kSpeechFrameBytes = 10;
inline constexpr int kSidFrameBytes = 2;

// Past excitation kept in front of the current frame: largest delay plus the
// interpolation filter's reach.
inline constexpr int kInterpolationReach = 11;
inline constexpr int kExcitationHistory = kPitchMax + kInterpolationReach;
// Past weighted speech and post-filter residual: the largest delay.
inline constexpr int kWeightedSpeechHistory = kPitchMax;
inline constexpr int kResidualHistory = kPitchMax;
// Past synthesized speech the post-filter's residual needs: one LP order.
inline constexpr int kSynthesisHistory = kLpOrder;
// The analysis window: older samples, the frame being coded, look-ahead.
inline constexpr int kSpeechHistory = 120;
inline constexpr int kLookahead = 40;
inline constexpr int kAnalysisWindow = kSpeechHistory + kFrameLength + kLookahead;

// a[0..10] with a[0] = 1.
using LpVector = std::array<double, kLpOrder + 1>;
using LsfVector = std::array<double, kLpOrder>;
// Row 0: expanded codebook vector of the latest frame; row 3: four frames ago.
using LsfMaMemory = std::array<LsfVector, 4>;
// A second-order section's memory: x1, x2, y1, y2.
using BiquadMemory = std::array<double, 4>;

}  // namespace g729a
