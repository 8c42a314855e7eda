// Runs the published test sequences through the module and compares the
// results with the published outputs.
#pragma once

#include <string>

#include "codec_host.h"

namespace g729tool {

// Floors a sequence must meet. Decoding: the SNR against the published
// output, per known sequence (what this codec achieves, less a margin),
// kDefaultDecodeFloorDb for others. Round trip: the segmental SNR at least
// the published chain's less kRoundTripMarginDb. Unknown sequences with
// erased or untransmitted frames, and tstseq5 (synthesis overload), are
// reported for information only.
inline constexpr double kDefaultDecodeFloorDb = 20.0;
inline constexpr double kRoundTripMarginDb = 1.0;

struct KnownSequence {
  const char* name;           // file stem
  double decode_floor_db;     // ignored when informational
  const char* informational;  // reason, or null
  // Largest distance allowed between the mean level of the comfort-noise
  // frames and that of the published output over the same frames; 0: the
  // figure is printed, not checked.
  double gap_level_db = 0;
};

// The sequences with erased or untransmitted frames (ERASURE, OVERFLOW,
// tstseq1a..4a, tstseq6) depend on the module's concealment and comfort
// noise; their floors are what the module achieves, less about 1 dB. The
// comfort noise of tstseq3a, tstseq4a and tstseq6 must also keep the
// published level within 1 dB.
inline constexpr KnownSequence kKnownSequences[] = {
    {"ALGTHM", 28.0, nullptr},        {"FIXED", 32.0, nullptr},
    {"LSP", 22.0, nullptr},           {"PARITY", 32.0, nullptr},
    {"PITCH", 41.0, nullptr},         {"SPEECH", 33.0, nullptr},
    {"TAME", 32.0, nullptr},          {"TEST", 30.0, nullptr},
    {"ERASURE", 26.0, nullptr},       {"OVERFLOW", -6.0, nullptr},
    {"tstseq1a", 30.0, nullptr},      {"tstseq2a", 6.0, nullptr},
    {"tstseq3a", 13.0, nullptr, 1.0}, {"tstseq4a", 14.0, nullptr, 1.0},
    {"tstseq6", 26.5, nullptr, 1.0},  {"tstseq5", 0.0, "overload"},
};

// Returns the exit status: 0 when every checked figure meets its floor.
int run_conformance(const CodecModule& codec, const std::string& dir);

}  // namespace g729tool
