// Adaptive-codebook (pitch) vector at a delay of T + f/3 samples.
#pragma once

namespace g729a {

inline constexpr int kSubframeLength = 40;
inline constexpr int kFrameLength = 80;
inline constexpr int kPitchMin = 20;
inline constexpr int kPitchMax = 143;
// Past excitation kept in front of the current frame: largest delay plus the
// interpolation filter's reach.
inline constexpr int kExcitationHistory = 154;

// inout: exc points at the first sample of the subframe inside an excitation
// history with at least T + 11 samples before it. Writes exc[0..39] in order,
// each sample before the next is computed, so delays below 50 repeat the
// vector periodically. f is -1, 0 or +1.
void adaptive_codebook_vector(double* exc, int T, int f);

}  // namespace g729a
