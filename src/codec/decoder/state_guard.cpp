#include "codec/decoder/state_guard.h"

#include <cmath>
#include <span>

namespace g729a {
namespace {

// Written as a negated comparison so that NaN fails it too.
bool within(double v) {
  return std::fabs(v) <= kRunawayBound;
}

bool all_within(std::span<const double> values) {
  for (double v : values) {
    if (!within(v)) return false;
  }
  return true;
}

}  // namespace

bool decoder_state_within_bounds(const DecoderState& s) {
  return all_within(s.excitation_buffer) && all_within(s.synthesis_memory) &&
         all_within(s.synthesis_buffer) && all_within(s.residual_buffer) &&
         all_within(s.postfilter_memory) && all_within(s.postproc_memory) &&
         within(s.tilt_memory) && within(s.agc_gain) && within(s.gain_code) &&
         within(s.gain_pitch) && within(s.sid_gain);
}

}  // namespace g729a
