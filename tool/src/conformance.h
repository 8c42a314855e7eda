// Runs the published test sequences through the module and compares the
// results with the published outputs.
#pragma once

#include <string>

#include "codec_host.h"

namespace g729tool {

// Floors a sequence must meet; sequences whose bitstream holds erased or
// untransmitted frames are reported for information only.
inline constexpr double kDecodeSnrFloorDb = 10.0;
inline constexpr double kRoundTripMarginDb = 3.0;  // below the published chain

// Returns the exit status: 0 when every checked figure meets its floor.
int run_conformance(const CodecModule& codec, const std::string& dir);

}  // namespace g729tool
