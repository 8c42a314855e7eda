#include "codec/decoder/state_guard.h"

namespace g729a {
namespace {

constexpr int kExcitationPast = 154;
constexpr int kResidualPast = 143;
constexpr int kNewPerFrame = 80;

// v - v is exactly 0 for a finite v and NaN for an infinity or a NaN, and a
// sum of zeros stays 0, so the sum is 0 exactly when every value is finite.
// Four partial sums keep the additions off one long dependency chain.
double nonfinite_probe(const double* v, int n) {
  double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    a0 += v[i] - v[i];
    a1 += v[i + 1] - v[i + 1];
    a2 += v[i + 2] - v[i + 2];
    a3 += v[i + 3] - v[i + 3];
  }
  for (; i < n; ++i) a0 += v[i] - v[i];
  return (a0 + a1) + (a2 + a3);
}

}  // namespace

bool decoder_state_finite(const DecoderState& s) {
  // The older samples of the excitation and residual histories were looked
  // at in the frame that produced them; only this frame's 80 are new.
  double probe =
      nonfinite_probe(s.excitation_buffer.data() + kExcitationPast - kNewPerFrame, kNewPerFrame);
  probe += nonfinite_probe(s.residual_buffer.data() + kResidualPast - kNewPerFrame, kNewPerFrame);
  probe += nonfinite_probe(s.synthesis_buffer.data(), 10);
  probe += nonfinite_probe(s.synthesis_memory.data(), 10);
  probe += nonfinite_probe(s.postfilter_memory.data(), 10);
  probe += nonfinite_probe(s.postproc_memory.data(), 4);
  probe += (s.tilt_memory - s.tilt_memory) + (s.agc_gain - s.agc_gain);
  return probe == 0.0;
}

}  // namespace g729a
