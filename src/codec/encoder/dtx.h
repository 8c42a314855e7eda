// Discontinuous transmission: SID frames that describe the background noise,
// and the encoder's own state kept as a decoder's during silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/common/frame_format.h"
#include "g729a/encoder_state.h"

namespace g729a {

// out: state for a call's first frame: no inactive frame seen, the decoder-side
// fields as a fresh decoder holds them.
void dtx_init(DtxState& state);

// A speech frame went out: a decoder resets its noise seed.
// inout: state.
void dtx_after_speech(DtxState& state);

// Sum of the squared analysis window: the autocorrelation's r[0] over it
// is the window's mean power.
inline constexpr double kWindowEnergy = 99.6595244864985;

// The SID fields for the noise whose autocorrelation is r_mean (the SID
// envelope closest to its LSFs through the decoder's own reconstruction
// from memory) and whose frames' autocorrelations are history[0..count-1]
// (the energy index whose gain matches their residual energy through that
// envelope). in: r_mean, history, count, memory, lsp_fallback; out: sid
// (a Sid record), sid_filter (the envelope's LP filter as decoded).
void sid_quantize(std::span<const double, 11> r_mean,
                  std::span<const std::array<double, kLpOrder + 1>> history,
                  const LsfMaMemory& memory, std::span<const double, 10> lsp_fallback,
                  FrameParameters& sid, LpVector& sid_filter);

// The energy index whose gain best matches a residual power (per sample).
// in: power.
int sid_energy_index(double power);

// One frame judged inactive: a SID frame when it starts a silence or the
// noise has changed, nothing otherwise; either way the state advances as a
// decoder's that received the result. in: r, lsp_new (the frame's
// analysis); inout: state; out: frame. Returns the bytes written, 2 or 0.
std::size_t encode_inactive_frame(std::span<const double, 11> r,
                                  std::span<const double, 10> lsp_new, EncoderState& state,
                                  std::span<std::uint8_t, kSpeechFrameBytes> frame);

}  // namespace g729a
