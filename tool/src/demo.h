// g729a demo: a round trip of the speech sample built into the tool.
#pragma once

#include <string>

#include "codec_host.h"

namespace g729tool {

inline constexpr const char* kDemoFolder = "g729a-demo";

// The folder may exist (its demo files are replaced) or be created; refuses,
// before any work, a folder that cannot be written.
void check_demo_folder(const std::string& dir);

// Writes DIR/original.wav, DIR/decoded.wav and DIR/decoded.g729 and prints
// the figures and what was written where.
int run_demo(const CodecModule& codec, const std::string& dir);

}  // namespace g729tool
