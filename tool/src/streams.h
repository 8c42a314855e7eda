// g729a streams: what a capture holds, one line per RTP stream.
#pragma once

#include <string>
#include <vector>

#include "capture.h"

namespace g729tool {

// Prints every RTP stream of every file (text, or one JSON array with
// --json). Returns the exit status: 1 when a file could not be read.
int run_streams(const std::vector<std::string>& files, const CaptureOptions& options, bool json);

// "G.729", "G.729 annexb=yes", "PCMU", ... for the streams line.
std::string codec_name(const CapturedStream& stream);

}  // namespace g729tool
