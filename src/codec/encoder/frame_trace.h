// What the frame driver decided, for the conformance traces and tests.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "codec/common/frame_format.h"
#include "g729a/encoder_state.h"

namespace g729a {

// What one subframe decided.
struct SubframeResult {
  int t0 = 0;
  int fraction = 0;
  double gp_opt = 0.0;  // adaptive gain after its bounds and the taming limit
  int taming = 0;
  double gp = 0.0;  // quantized
  double gc = 0.0;  // quantized
};

struct FrameTrace {
  FrameParameters parameters;
  int t_op = 0;
  std::array<double, kLpOrder> lsp_new{};
  std::array<double, kLpOrder> lsp_new_q{};
  std::array<SubframeResult, kSubframes> subframes{};
};

// The frame driver: analysis, quantization and both subframes of the 80
// pre-processed samples at speech_buffer[kSpeechNew], reporting its
// decisions when trace is not null. in: r, the autocorrelation of the
// speech buffer (filtered_window_autocorrelation); inout: state; out: out,
// *trace.
void encode_frame(std::span<const double, 11> r, EncoderState& state, FrameParameters& out,
                  FrameTrace* trace);

// encode_frame after the LP analysis: lsp_new are the frame's unquantized
// LSPs from r, lsf their angles when known (null: computed here).
// in: lsp_new, lsf; inout: state; out: out, *trace.
void encode_frame_analysed(std::span<const double, 10> lsp_new, const LsfVector* lsf,
                           EncoderState& state, FrameParameters& out, FrameTrace* trace);

// The end of every frame: the speech, weighted-speech and excitation
// histories move on by one frame. inout: state.
void shift_frame_histories(EncoderState& state);

// encoder_encode, reporting the frame's decisions when trace is not null.
// in: pcm; inout: state; out: frame, *trace.
void encoder_encode_traced(EncoderState& state, std::span<const std::int16_t, kFrameLength> pcm,
                           std::span<std::uint8_t, kSpeechFrameBytes> frame, FrameTrace* trace);

}  // namespace g729a
