// Closed-loop pitch search: integer delay around the open-loop estimate,
// refined to a third of a sample, and the delay indices P1 and P2.
#pragma once

#include <cstdint>

namespace g729a {

struct PitchRange {
  int delay_min;
  int delay_max;
};

// Seven delays around the open-loop delay, kept inside 20..143. in: t_op.
PitchRange first_subframe_pitch_range(int t_op);

// Ten delays around the first subframe's delay, kept inside 20..143.
// in: t0_first.
PitchRange second_subframe_pitch_range(int t0_first);

// in: x[40] target, h[40] impulse response (not sharpened), delay_min..
// delay_max, subframe_offset (0 for the first subframe); inout: exc, the
// first sample of the subframe inside excitation_buffer (LP residual on
// entry, adaptive-codebook vector for (T0, fraction) on exit); out:
// *fraction. Returns T0.
int closed_loop_pitch_search(double* exc, const double* x, const double* h, int delay_min,
                             int delay_max, int subframe_offset, int* fraction);

// 8-bit index of the first subframe's delay. in: t0, fraction.
std::int32_t encode_pitch_p1(int t0, int fraction);

// 5-bit index of the second subframe's delay relative to its range.
// in: t0, fraction, delay_min.
std::int32_t encode_pitch_p2(int t0, int fraction, int delay_min);

}  // namespace g729a
