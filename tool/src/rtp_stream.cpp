#include "rtp_stream.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

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

PacketOrder order_packets(std::span<const std::uint16_t> sequences) {
  PacketOrder result;
  struct Entry {
    long long extended;
    std::size_t index;
  };
  std::vector<std::vector<Entry>> runs;
  std::set<long long> seen;
  long long highest = 0;
  for (std::size_t i = 0; i < sequences.size(); ++i) {
    const std::uint16_t sequence = sequences[i];
    const int step =
        runs.empty() ? 0
                     : static_cast<std::int16_t>(sequence - static_cast<std::uint16_t>(highest));
    if (runs.empty() || step < -kLatestPacket) {
      const bool continued =
          i + 1 < sequences.size() && sequences[i + 1] == static_cast<std::uint16_t>(sequence + 1);
      if (!runs.empty() && !continued) {
        result.strays.push_back(i);
        continue;
      }
      runs.emplace_back();
      seen.clear();
      // Far from zero, so a run can extend backwards without going negative.
      highest = (1LL << 32) + sequence;
      runs.back().push_back({highest, i});
      seen.insert(highest);
      continue;
    }
    const long long extended = highest + step;
    if (!seen.insert(extended).second) {
      result.duplicates.push_back(i);
      continue;
    }
    if (step < 0) result.late.push_back(i);
    highest = std::max(highest, extended);
    runs.back().push_back({extended, i});
  }
  for (auto& run : runs) {
    std::stable_sort(run.begin(), run.end(),
                     [](const Entry& a, const Entry& b) { return a.extended < b.extended; });
    result.run_starts.push_back(result.order.size());
    for (const auto& e : run) result.order.push_back(e.index);
    result.expected += static_cast<long>(run.back().extended - run.front().extended + 1);
  }
  return result;
}

StreamFigures stream_figures(std::span<const StreamPacket> packets, int clock_rate) {
  StreamFigures f;
  if (packets.empty()) return f;
  std::vector<std::uint16_t> sequences;
  for (const auto& p : packets) sequences.push_back(p.sequence);
  const PacketOrder order = order_packets(sequences);
  f.packets = static_cast<long>(packets.size());
  f.expected = order.expected;
  f.duplicates = static_cast<long>(order.duplicates.size());
  f.reordered = static_cast<long>(order.late.size());
  f.lost = std::max(0L, f.expected - static_cast<long>(order.order.size()));
  f.start = packets.front().arrival;
  double last = f.start;
  // Jitter in arrival order, as a receiver computes it; none without
  // capture times.
  const bool timed = std::any_of(packets.begin(), packets.end(),
                                 [](const StreamPacket& p) { return p.arrival > 0; });
  double jitter = 0, sum = 0;
  for (std::size_t i = 0; i < packets.size(); ++i) {
    f.start = std::min(f.start, packets[i].arrival);
    last = std::max(last, packets[i].arrival);
    if (packets[i].sid) ++f.sid_packets;
    if (i == 0 || !timed) continue;
    const double transit_change = (packets[i].arrival - packets[i - 1].arrival) * clock_rate -
                                  static_cast<double>(static_cast<std::int32_t>(
                                      packets[i].timestamp - packets[i - 1].timestamp));
    jitter += (std::fabs(transit_change) - jitter) / 16.0;
    f.max_jitter_ms = std::max(f.max_jitter_ms, jitter * 1000.0 / clock_rate);
    sum += jitter;
  }
  f.mean_jitter_ms = packets.size() > 1
                         ? sum / static_cast<double>(packets.size() - 1) * 1000.0 / clock_rate
                         : 0.0;
  f.duration = last - f.start;
  // A pause: after a SID packet, the next packet in order comes later than
  // the SID packet's own frames last, with no lost packet between.
  for (std::size_t k = 0; k + 1 < order.order.size(); ++k) {
    const auto& a = packets[order.order[k]];
    const auto& b = packets[order.order[k + 1]];
    if (!a.sid || static_cast<std::uint16_t>(a.sequence + 1) != b.sequence) continue;
    const long frames_last = static_cast<long>(a.frames) * clock_rate / 100;
    if (static_cast<std::int32_t>(b.timestamp - a.timestamp) > frames_last) ++f.dtx_gaps;
  }
  return f;
}

std::vector<SdpMapping> g729_in_sdp(std::span<const std::uint8_t> datagram) {
  const std::string text(datagram.begin(), datagram.end());
  std::vector<SdpMapping> found;
  if (text.find("a=rtpmap:") == std::string::npos) return found;
  std::map<int, std::string> annexb;
  std::vector<int> types;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    int type = -1;
    char name[32] = {};
    int rate = 0;
    if (std::sscanf(line.c_str(), "a=rtpmap:%d %31[^/]/%d", &type, name, &rate) == 3) {
      std::string codec(name);
      std::transform(codec.begin(), codec.end(), codec.begin(),
                     [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
      if ((codec == "G729" || codec == "G729A") && rate == 8000 && type >= 0 && type < 128) {
        types.push_back(type);
      }
    } else if (std::sscanf(line.c_str(), "a=fmtp:%d", &type) == 1) {
      const auto at = line.find("annexb=");
      if (at != std::string::npos) {
        std::string value = line.substr(at + 7, line.find_first_of("; ", at + 7) - (at + 7));
        std::transform(value.begin(), value.end(), value.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        annexb[type] = value;
      }
    }
  }
  for (int type : types) found.push_back({type, annexb.count(type) ? annexb[type] : ""});
  return found;
}

}  // namespace g729tool
