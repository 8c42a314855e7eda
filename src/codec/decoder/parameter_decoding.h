// Per-subframe parameter decoding of speech frames: pitch delay, fixed
// codebook vector and gains.
#pragma once

#include <array>
#include <cstdint>

namespace g729a {

using CodeVector = std::array<double, 40>;

// in: index (P1 when subframe is 0, else P2), t_min/t_max (20, 143),
// subframe; inout: T (the first subframe's delay on entry for subframe 1);
// out: f (-1, 0 or +1 thirds).
void pitch_delay_decode(int index, int t_min, int t_max, int subframe, int& T, int& f);

// in: C (13 bits), S (4 bits); out: cv with four unit pulses.
void fixed_codebook_decode(int C, int S, CodeVector& cv);

// in: gain index (GA << 4 | GB), cv (sharpened at delay T), T; inout:
// predictor_memory (dB, index 0 most recent); out: gain_pitch, gain_code.
void gain_decode(int index, const CodeVector& cv, int T, std::array<double, 4>& predictor_memory,
                 double& gain_pitch, double& gain_code);

}  // namespace g729a
