#include "capture.h"

#include <pcap/pcap.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "report.h"
#include "rtp_packet.h"
#include "tool_error.h"

namespace g729tool {
namespace {

struct StoredPacket {
  long number = 0;  // 1-based position in the capture
  std::uint16_t sequence = 0;
  std::uint32_t timestamp = 0;
  std::uint32_t ssrc = 0;
  std::vector<std::uint8_t> payload;
};

struct PcapCloser {
  void operator()(pcap_t* p) const { pcap_close(p); }
};

// Gaps longer than this are a restarted stream rather than missing audio.
constexpr long kLongestGapSamples = 10L * 60 * kSampleRate;

std::string hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string millis(long samples) {
  return std::to_string(samples / 8) + " ms";
}

std::vector<StoredPacket> read_stream(const std::string& path, const CaptureOptions& options) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  std::unique_ptr<pcap_t, PcapCloser> capture(pcap_open_offline(path.c_str(), errbuf));
  if (!capture) throw bad_input(path, std::string("not a readable capture: ") + errbuf);
  const int link = pcap_datalink(capture.get());

  std::vector<StoredPacket> packets;
  std::set<int> other_types;
  long number = 0, fragments = 0, cut_short = 0;
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  int result;
  while ((result = pcap_next_ex(capture.get(), &header, &data)) == 1) {
    ++number;
    std::span<const std::uint8_t> udp;
    const auto status = g729io::find_udp_payload(link, {data, header->caplen}, udp);
    if (status == g729io::PacketStatus::UnknownLink) {
      throw bad_input(path, "link type " + std::to_string(link) + " (" +
                                (pcap_datalink_val_to_name(link) ? pcap_datalink_val_to_name(link)
                                                                 : "unknown") +
                                ") is not supported");
    }
    if (status == g729io::PacketStatus::Fragment) ++fragments;
    if (status == g729io::PacketStatus::Truncated) ++cut_short;
    if (status != g729io::PacketStatus::Udp) continue;
    g729io::RtpPacket rtp;
    if (!g729io::parse_rtp(udp, rtp)) continue;
    if (rtp.payload_type != options.payload_type) {
      other_types.insert(rtp.payload_type);
      continue;
    }
    packets.push_back({number, rtp.sequence, rtp.timestamp, rtp.ssrc,
                       std::vector<std::uint8_t>(rtp.payload.begin(), rtp.payload.end())});
  }
  if (result == -1) {
    throw bad_input(path, "damaged capture after packet " + std::to_string(number) + ": " +
                              pcap_geterr(capture.get()));
  }
  if (fragments > 0) {
    print_note(path + ": " + std::to_string(fragments) + " IP fragments skipped");
  }
  if (cut_short > 0) {
    print_note(path + ": " + std::to_string(cut_short) +
               " packets were cut short in the capture and skipped");
  }
  if (packets.empty()) {
    std::string reason = "no RTP packets with payload type " +
                         std::to_string(options.payload_type) + " (G.729) in " +
                         std::to_string(number) + " packets";
    if (!other_types.empty()) {
      reason += "; RTP payload types seen:";
      for (int type : other_types) reason += " " + std::to_string(type);
      reason += " (use --pt)";
    }
    throw bad_input(path, reason);
  }
  return packets;
}

// Keeps the packets of one SSRC: the requested one, else the busiest.
std::vector<StoredPacket> select_stream(const std::string& path, std::vector<StoredPacket> all,
                                        const CaptureOptions& options) {
  std::map<std::uint32_t, long> per_ssrc;
  std::vector<std::uint32_t> order;
  for (const auto& p : all) {
    if (per_ssrc[p.ssrc]++ == 0) order.push_back(p.ssrc);
  }
  std::uint32_t chosen = order.front();
  if (options.ssrc) {
    if (!per_ssrc.count(*options.ssrc)) {
      std::string reason = "no G.729 stream with SSRC " + hex32(*options.ssrc) + "; streams:";
      for (auto ssrc : order) reason += " " + hex32(ssrc);
      throw bad_input(path, reason);
    }
    chosen = *options.ssrc;
  } else {
    for (auto ssrc : order) {
      if (per_ssrc[ssrc] > per_ssrc[chosen]) chosen = ssrc;
    }
    if (order.size() > 1) {
      print_note(path + ": " + std::to_string(order.size()) + " G.729 streams; decoding SSRC " +
                 hex32(chosen) + " (" + std::to_string(per_ssrc[chosen]) +
                 " packets), choose another with --ssrc");
    }
  }
  std::vector<StoredPacket> kept;
  kept.reserve(static_cast<std::size_t>(per_ssrc[chosen]));
  for (auto& p : all) {
    if (p.ssrc == chosen) kept.push_back(std::move(p));
  }
  return kept;
}

}  // namespace

bool looks_like_capture(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char magic[4] = {};
  if (!in.read(reinterpret_cast<char*>(magic), 4)) return false;
  const std::uint32_t word =
      magic[0] | (magic[1] << 8) | (magic[2] << 16) | (static_cast<std::uint32_t>(magic[3]) << 24);
  return word == 0xA1B2C3D4 || word == 0xD4C3B2A1 || word == 0xA1B23C4D || word == 0x4D3CB2A1 ||
         word == 0x0A0D0D0A;
}

void decode_capture(const std::string& path, const CaptureOptions& options, DecodeStream& stream) {
  const auto packets = select_stream(path, read_stream(path, options), options);
  Progress progress("decoding " + path, static_cast<double>(packets.size()), 3000);

  bool started = false;
  bool previous_damaged = false;
  std::uint16_t next_sequence = 0;
  std::uint32_t next_timestamp = 0;
  long refused = 0, skipped = 0;
  for (const auto& packet : packets) {
    progress.advance(1);
    const std::string where = path + ": packet " + std::to_string(packet.number);
    if (started) {
      const auto lost = static_cast<std::int16_t>(packet.sequence - next_sequence);
      if (lost < 0) {
        print_note(where + ": sequence " + std::to_string(packet.sequence) +
                   " is late or repeated, skipped");
        ++skipped;
        continue;
      }
      const auto missing = static_cast<std::int32_t>(packet.timestamp - next_timestamp);
      if (missing > kLongestGapSamples) {
        print_note(where + ": timestamp jumps by " + std::to_string(missing / kSampleRate) +
                   " s; taken as a restart, not filled");
      } else if (missing > 0) {
        const bool erased = lost > 0 || previous_damaged;
        stream.add_silence(missing, erased);
        if (lost > 0) {
          print_note(where + ": " + std::to_string(lost) + " packets lost (sequence " +
                     std::to_string(static_cast<std::uint16_t>(next_sequence)) + " to " +
                     std::to_string(static_cast<std::uint16_t>(packet.sequence - 1)) + "), " +
                     millis(missing) + " of silence inserted");
        } else {
          print_note(where + ": timestamps skip " + millis(missing) + ", silence inserted");
        }
      } else if (lost > 0) {
        print_note(where + ": " + std::to_string(lost) + " packets lost, timestamps show no gap");
      }
    }
    started = true;
    const long before = stream.counts().samples;
    std::string error;
    previous_damaged = !stream.decode_payload(packet.payload, error);
    if (previous_damaged) {
      ++refused;
      print_error(where + ": payload of " + std::to_string(packet.payload.size()) +
                  " bytes refused: " + error);
    }
    next_sequence = static_cast<std::uint16_t>(packet.sequence + 1);
    next_timestamp =
        packet.timestamp + static_cast<std::uint32_t>(stream.counts().samples - before);
  }
  if (refused > 0 || skipped > 0) {
    print_note(path + ": " + std::to_string(refused) + " packets refused, " +
               std::to_string(skipped) + " late or repeated packets skipped");
  }
}

}  // namespace g729tool
