#include "codec/decoder/state_guard.h"

#include "codec/simd/simd.h"
#include "g729a/codec.h"

namespace g729a {
namespace {

// v - v is exactly 0 for a finite v and NaN for an infinity or a NaN, and a
// sum of zeros stays 0, so the sum is 0 exactly when every value is finite.
// Four partial sums keep the additions off one long dependency chain.
template <int N>
[[gnu::always_inline]] inline double nonfinite_probe(const double* v) {
  double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
  constexpr int kWhole = N / 4 * 4;
  for (int i = 0; i < kWhole; i += 4) {
    a0 += v[i] - v[i];
    a1 += v[i + 1] - v[i + 1];
    a2 += v[i + 2] - v[i + 2];
    a3 += v[i + 3] - v[i + 3];
  }
  if constexpr (kWhole < N) {
    for (int i = kWhole; i < N; ++i) a0 += v[i] - v[i];
  }
  return (a0 + a1) + (a2 + a3);
}

}  // namespace

namespace {

[[gnu::always_inline]] inline double state_probe(const DecoderState& s) {
  // The older samples of the excitation and residual histories were looked
  // at in the frame that produced them; only this frame's 80 are new.
  double probe =
      nonfinite_probe<kFrameLength>(s.excitation_buffer.data() + kExcitationHistory - kFrameLength);
  probe +=
      nonfinite_probe<kFrameLength>(s.residual_buffer.data() + kResidualHistory - kFrameLength);
  probe += nonfinite_probe<kSynthesisHistory>(s.synthesis_buffer.data());
  probe += nonfinite_probe<kLpOrder>(s.synthesis_memory.data());
  probe += nonfinite_probe<kLpOrder>(s.postfilter_memory.data());
  probe += nonfinite_probe<4>(s.postproc_memory.data());
  probe += (s.tilt_memory - s.tilt_memory) + (s.agc_gain - s.agc_gain);
  return probe;
}

double state_probe_plain(const DecoderState& s) {
  return state_probe(s);
}

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 double state_probe_avx2(const DecoderState& s) {
  return state_probe(s);
}
#endif

}  // namespace

bool decoder_state_finite(const DecoderState& s) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return state_probe_avx2(s) == 0.0;
#endif
  return state_probe_plain(s) == 0.0;
}

void restart_if_not_finite(DecoderState& state) {
  if (!decoder_state_finite(state)) decoder_init(state);
}

}  // namespace g729a
