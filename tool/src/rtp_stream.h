// The packet-level half of capture decoding, free of libpcap and of the
// codec: which captured frames hold G.729 RTP, and where each packet falls
// on the stream's timeline.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

// A stream's packets put in order over the whole capture. Sequence numbers
// are extended over wrap-arounds; a packet that arrives after a later one is
// used in its place, a repeated one dropped. A packet far behind
// (kLatestPacket) starts a new run when the stream goes on from it (the
// sender restarted its counter), else it is a stray and dropped. Runs keep
// their capture order.
struct PacketOrder {
  std::vector<std::size_t> order;       // indices into the input, in play order
  std::vector<std::size_t> run_starts;  // positions in `order` where a run begins
  std::vector<std::size_t> late;        // input indices of packets used out of capture order
  std::vector<std::size_t> duplicates;  // input indices dropped as repeated
  std::vector<std::size_t> strays;      // input indices dropped as strays
  long expected = 0;                    // sum over runs of highest - lowest + 1
};

// in: sequences, in capture order.
PacketOrder order_packets(std::span<const std::uint16_t> sequences);

// What `g729a streams` shows of one RTP stream.
struct StreamPacket {
  double arrival = 0;  // capture time, seconds
  std::uint16_t sequence = 0;
  std::uint32_t timestamp = 0;
  bool sid = false;  // the payload ends in a SID frame
  int frames = 0;    // speech and SID frames in the payload
};

struct StreamFigures {
  long packets = 0;
  long expected = 0;
  long lost = 0;  // expected less the distinct packets received, at least 0
  long duplicates = 0;
  long reordered = 0;
  // Interarrival jitter (RFC 3550), mean over the packets; 0 without capture times.
  double mean_jitter_ms = 0;
  double max_jitter_ms = 0;
  long sid_packets = 0;
  long dtx_gaps = 0;  // timestamp gaps after a SID packet
  double start = 0;   // capture time of the first packet
  double duration = 0;
};

// in: packets in capture order, clock_rate (8000 for G.729).
StreamFigures stream_figures(std::span<const StreamPacket> packets, int clock_rate);

// SDP in a datagram (SIP over UDP): the payload types its a=rtpmap lines give
// G.729 at 8 kHz ("G729" or "G729A"), with ";annexb=..." when an a=fmtp line
// names Annex B. Returns nothing for other datagrams.
struct SdpMapping {
  int payload_type = 0;
  std::string annexb;  // "yes", "no" or "" when not stated
};
std::vector<SdpMapping> g729_in_sdp(std::span<const std::uint8_t> datagram);

}  // namespace g729tool
