// What every decoder fuzz target asks of the state after each frame: no
// value it carries is non-finite, and the predictor mode stays an index.
#pragma once

#include <cmath>
#include <cstdlib>
#include <span>

#include "g729a/codec.h"

namespace fuzzcheck {

inline void require_finite(std::span<const double> values) {
  for (double v : values) {
    if (!std::isfinite(v)) std::abort();
  }
}

inline void require_finite_state(const g729a::DecoderState& s) {
  require_finite(s.excitation_buffer);
  require_finite(s.lsp_previous);
  require_finite(s.synthesis_memory);
  require_finite(s.residual_buffer);
  require_finite(s.postfilter_memory);
  require_finite(s.synthesis_buffer);
  require_finite(s.postproc_memory);
  require_finite(s.gain_predictor_memory);
  require_finite(s.sid_lsp);
  for (const auto& row : s.lsf_ma_memory) require_finite(row);
  const double scalars[] = {s.pitch_sharpening, s.gain_code, s.gain_pitch,       s.sid_gain,
                            s.tilt_memory,      s.agc_gain,  s.sid_received_gain};
  require_finite(scalars);
  // Erased frames index the predictor tables with it.
  if (s.previous_lsf_mode != 0 && s.previous_lsf_mode != 1) std::abort();
}

}  // namespace fuzzcheck
