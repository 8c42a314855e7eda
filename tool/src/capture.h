// G.729 from packet captures: the RTP stream is picked out of a pcap or
// pcapng file and its payloads go to the decoder one by one, with silence
// for whatever is missing from the timeline.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codec_host.h"

namespace g729tool {

class InputSource;

// How decoding goes: the stream a capture gives, and (for every input) how
// missing frames are filled.
struct CaptureOptions {
  // G.729's RTP payload type; default 18 and the types SIP/SDP in the
  // capture maps to G.729.
  std::optional<int> payload_type;
  std::optional<std::uint32_t> ssrc;  // default: the stream with the most packets
  bool conceal = true;                // false: --gaps silence, gaps as zeros
};

struct CapturedPacket {
  long number = 0;     // 1-based position in the capture
  double arrival = 0;  // capture time, seconds since 1970 (0 when unknown)
  std::uint16_t sequence = 0;
  std::uint32_t timestamp = 0;
  std::vector<std::uint8_t> payload;
};

// One RTP stream: an SSRC between two endpoints with one payload type.
struct CapturedStream {
  std::uint32_t ssrc = 0;
  std::string source, destination;  // "10.0.0.1:5004"
  int payload_type = 0;
  bool g729 = false;
  std::string annexb;                   // as SDP in the capture states it, "" when it does not
  std::vector<CapturedPacket> packets;  // capture order
};

// Every RTP stream of a capture, in order of their first packets. Throws
// ToolError for unreadable or damaged captures; a capture cut short keeps
// its complete packets, with a warning.
std::vector<CapturedStream> read_capture(InputSource& source, const CaptureOptions& options);
std::vector<CapturedStream> read_capture(const std::string& path, const CaptureOptions& options);

// "0x11223344"
std::string hex32(std::uint32_t value);

// One stream's packets, put in order over the whole capture, into `stream`.
// `label` names it in notes.
void decode_stream(const std::string& label, const CapturedStream& rtp, DecodeStream& stream);

// True when the bytes start like a pcap or pcapng file.
bool looks_like_capture(std::span<const std::uint8_t> magic);

// Throws ToolError for unreadable captures, captures without a matching
// stream and damaged capture files. Problems with single packets are
// reported (print_error / print_note) and decoding goes on.
void decode_capture(InputSource& source, const CaptureOptions& options, DecodeStream& stream);

}  // namespace g729tool
