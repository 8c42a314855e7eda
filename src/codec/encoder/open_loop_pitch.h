// Open-loop pitch delay of a whole frame from the weighted speech, searched
// on every second sample in three delay sections.
#pragma once

namespace g729a {

// in: s[-143..79], s pointing at the frame's first weighted sample;
// returns T_op in 20..143.
int open_loop_pitch(const double* s);

}  // namespace g729a
