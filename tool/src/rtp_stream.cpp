#include "rtp_stream.h"

#include <algorithm>

namespace g729tool {

FrameVerdict rtp_in_frame(int link_type, std::span<const std::uint8_t> frame, int payload_type,
                          g729io::RtpPacket& rtp) {
  std::span<const std::uint8_t> udp;
  switch (g729io::find_udp_payload(link_type, frame, udp)) {
    case g729io::PacketStatus::Udp:
      break;
    case g729io::PacketStatus::NotUdp:
      return FrameVerdict::NotRtp;
    case g729io::PacketStatus::Fragment:
      return FrameVerdict::Fragment;
    case g729io::PacketStatus::Truncated:
      return FrameVerdict::Truncated;
    case g729io::PacketStatus::UnknownLink:
      return FrameVerdict::UnknownLink;
  }
  if (!g729io::parse_rtp(udp, rtp)) return FrameVerdict::NotRtp;
  return rtp.payload_type == payload_type ? FrameVerdict::Rtp : FrameVerdict::OtherPayloadType;
}

Gap timeline_gap(Timeline& timeline, std::uint16_t sequence, std::uint32_t timestamp,
                 bool previous_damaged, std::optional<std::uint16_t> following) {
  Gap gap;
  if (!timeline.started) return gap;
  const int step = static_cast<std::int16_t>(sequence - timeline.next_sequence);
  if (step < 0 && step >= -kLatestPacket) {
    gap.late = true;
    return gap;
  }
  if (step < 0) {
    // Far behind: a new counter if the stream goes on from here (nothing is
    // known of the audio in between), else a stray.
    const bool continued = following && *following == static_cast<std::uint16_t>(sequence + 1);
    gap.sequence_restart = continued;
    gap.stray = !continued;
    return gap;
  }
  gap.lost = step;
  // Signed: a timestamp behind the expected one is no gap.
  gap.missing = static_cast<std::int32_t>(timestamp - timeline.next_timestamp);
  if (gap.missing > kLongestGapSamples) {
    gap.timestamp_restart = true;
  } else if (gap.missing > 0) {
    const long room = kMostSilenceSamples - timeline.silence;
    gap.silence = std::min(gap.missing, room);
    gap.silence_capped = gap.silence < gap.missing;
    gap.erased = gap.lost > 0 || previous_damaged;
    timeline.silence += gap.silence;
  }
  return gap;
}

void timeline_advance(Timeline& timeline, std::uint16_t sequence, std::uint32_t timestamp,
                      long samples) {
  timeline.started = true;
  timeline.next_sequence = static_cast<std::uint16_t>(sequence + 1);
  timeline.next_timestamp = timestamp + static_cast<std::uint32_t>(samples);
}

}  // namespace g729tool
