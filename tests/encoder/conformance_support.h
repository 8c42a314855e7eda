// Encoding the conformance sequences directly and reading the golden traces.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codec/encoder/frame_trace.h"

namespace encconf {

inline const std::array<std::string, 6> kGoldenNames = {"ALGTHM", "FIXED",  "LSP",
                                                        "PITCH",  "SPEECH", "TAME"};

std::string input_path(const std::string& name);   // testvectors/g729a/NAME.IN
std::string golden_path(const std::string& name);  // golden/NAME.g729
std::string trace_path(const std::string& name);   // golden/trace/NAME.txt

// One frame of a golden trace, values parsed exactly from their shortest
// round-trip text.
struct TraceFrame {
  int frame = -1;
  std::array<std::int32_t, 11> slots{};
  g729a::FrameTrace trace;
};

// Every frame of a trace file; empty when the file is missing.
std::vector<TraceFrame> read_trace(const std::string& path);

// Encodes every whole 80-sample frame of pcm with a fresh encoder and the
// translator's pre-processing, calling `each` (when set) after every frame.
// Returns the packed frames.
std::vector<std::uint8_t> encode_direct(
    const std::vector<std::int16_t>& pcm,
    const std::function<void(int frame, const g729a::FrameParameters&, const g729a::FrameTrace&,
                             const g729a::EncoderState&)>& each = {});

// The first value where `mine` departs from `golden` ("" when none), e.g.
// "sub1 gc 1.25 != 1.2500000000000002".
std::string first_departure(const TraceFrame& golden, const g729a::FrameParameters& mine_params,
                            const g729a::FrameTrace& mine);

}  // namespace encconf
