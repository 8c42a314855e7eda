// The module's two translators as the host sees them.
#pragma once

#include "host/corvane.h"

namespace g729a {

// Static records; the host writes only its own trailing fields.
extern TranslatorDescriptor lintog729_descriptor;
extern TranslatorDescriptor g729tolin_descriptor;

// File name the translators report in their log lines.
inline constexpr const char* kLogFile = "codec_g729a.c";

// Both translators hold at most this many samples per instance.
inline constexpr int kBufferSamples = 8000;
inline constexpr int kFrameSamples = 80;

// Logged when an instance's sample_count lies outside its buffer: the count
// and the buffer's capacity.
inline constexpr const char* kBadCountMessage = "Invalid sample count (%d, buffer holds %d)\n";

}  // namespace g729a
