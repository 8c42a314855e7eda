// The packet-level half of capture decoding, free of libpcap and of the
// codec: which captured frames hold G.729 RTP, and where each packet falls
// on the stream's timeline.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "rtp_packet.h"

namespace g729tool {

enum class FrameVerdict {
  Rtp,               // RTP of the wanted payload type
  OtherPayloadType,  // RTP, another payload type
  NotRtp,            // another protocol, or UDP that is not RTP
  Fragment,
  Truncated,
  UnknownLink,
};

// in: link_type, frame, payload_type; out: rtp (set for Rtp and
// OtherPayloadType; its payload points into `frame`).
FrameVerdict rtp_in_frame(int link_type, std::span<const std::uint8_t> frame, int payload_type,
                          g729io::RtpPacket& rtp);

// Gaps longer than this are a restarted stream rather than missing audio.
inline constexpr long kLongestGapSamples = 10L * 60 * 8000;
// All gaps of a stream together fill at most this much silence, so a small
// hostile capture cannot demand hours of output.
inline constexpr long kMostSilenceSamples = 4L * 60 * 60 * 8000;
// A sequence number at most this far behind is a late packet. Farther
// behind, the sender restarted its counter when the following packet
// continues from it; otherwise the packet is a stray and skipped.
inline constexpr int kLatestPacket = 100;

struct Timeline {
  bool started = false;
  std::uint16_t next_sequence = 0;
  std::uint32_t next_timestamp = 0;
  long silence = 0;  // samples filled so far
};

struct Gap {
  bool late = false;   // late or repeated: skip the packet
  bool stray = false;  // far behind and not continued: skip the packet
  bool sequence_restart = false;
  bool timestamp_restart = false;
  bool silence_capped = false;  // kMostSilenceSamples cut this gap short
  int lost = 0;                 // packets missing before this one
  long missing = 0;             // samples the timestamps say are missing
  long silence = 0;             // samples of silence to insert
  bool erased = false;          // the silence stands for lost audio
};

// What lies between the previous packet and this one. Counts the silence
// it returns into `timeline`.
// inout: timeline; in: sequence, timestamp, previous_damaged, following
// (the sequence number of the stream's next packet, if there is one).
Gap timeline_gap(Timeline& timeline, std::uint16_t sequence, std::uint32_t timestamp,
                 bool previous_damaged, std::optional<std::uint16_t> following);

// After a packet that produced `samples` of audio.
// inout: timeline; in: sequence, timestamp, samples.
void timeline_advance(Timeline& timeline, std::uint16_t sequence, std::uint32_t timestamp,
                      long samples);

}  // namespace g729tool
