// G.729 from packet captures: the RTP stream is picked out of a pcap or
// pcapng file and its payloads go to the decoder one by one, with silence
// for whatever is missing from the timeline.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "codec_host.h"

namespace g729tool {

// How decoding goes: the stream a capture gives, and (for every input) how
// missing frames are filled.
struct CaptureOptions {
  int payload_type = 18;
  std::optional<std::uint32_t> ssrc;  // default: the stream with the most packets
  bool conceal = true;                // false: --gaps silence, zeros as before
};

// True when the bytes start like a pcap or pcapng file.
bool looks_like_capture(const std::string& path);

// Throws ToolError for unreadable captures, captures without a matching
// stream and damaged capture files. Problems with single packets are
// reported (print_error / print_note) and decoding goes on.
void decode_capture(const std::string& path, const CaptureOptions& options, DecodeStream& stream);

}  // namespace g729tool
