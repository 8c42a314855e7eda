// The default run: a round trip of the speech sample built into the tool.
#pragma once

#include "codec_host.h"

namespace g729tool {

int run_demo(const CodecModule& codec);

}  // namespace g729tool
