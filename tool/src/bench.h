// g729a bench: what the codec costs per channel, through the loaded module.
#pragma once

#include "codec_host.h"

namespace g729tool {

// Prints the CPU time per 10 ms frame to encode and to decode the built-in
// speech sample, and the full-duplex channels one core carries.
int run_bench(const CodecModule& codec);

}  // namespace g729tool
