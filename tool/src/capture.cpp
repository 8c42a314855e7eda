#include "capture.h"

#include <pcap/pcap.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "audio_file.h"
#include "pcapng_blocks.h"
#include "report.h"
#include "rtp_packet.h"
#include "rtp_stream.h"
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

std::string hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string millis(long samples) {
  return std::to_string(samples / 8) + " ms";
}

std::string link_name(int link) {
  // pcapng files hold the file-format number of raw IP, which libpcap names
  // only under its own number.
  const char* name =
      pcap_datalink_val_to_name(link == g729io::kLinkRawLinktype ? g729io::kLinkRaw : link);
  return std::to_string(link) + " (" + (name ? name : "unknown") + ")";
}

// "concealed", "of comfort noise", "of silence inserted" or a mix.
std::string filled_as(const FrameCounts& before, const FrameCounts& after) {
  const bool concealed = after.concealed > before.concealed;
  const bool noise = after.comfort_noise > before.comfort_noise;
  if (concealed && noise) return "concealed and comfort noise";
  if (concealed) return "concealed";
  if (noise) return "of comfort noise";
  return "of silence inserted";
}

// Sorts the captured frames: G.729 RTP is kept, the rest only counted.
struct Collector {
  int payload_type = 18;
  std::vector<StoredPacket> packets;
  std::set<int> other_types;
  std::map<int, long> unknown_links;  // link type -> packets
  long number = 0, fragments = 0, cut_short = 0;

  void add(int link, std::span<const std::uint8_t> frame) {
    ++number;
    g729io::RtpPacket rtp;
    switch (rtp_in_frame(link, frame, payload_type, rtp)) {
      case FrameVerdict::Rtp:
        packets.push_back({number, rtp.sequence, rtp.timestamp, rtp.ssrc,
                           std::vector<std::uint8_t>(rtp.payload.begin(), rtp.payload.end())});
        break;
      case FrameVerdict::OtherPayloadType:
        other_types.insert(rtp.payload_type);
        break;
      case FrameVerdict::NotRtp:
        break;
      case FrameVerdict::Fragment:
        ++fragments;
        break;
      case FrameVerdict::Truncated:
        ++cut_short;
        break;
      case FrameVerdict::UnknownLink:
        ++unknown_links[link];
        break;
    }
  }

  std::vector<StoredPacket> finish(const std::string& path) {
    if (packets.empty() && !unknown_links.empty() && other_types.empty()) {
      throw bad_input(path,
                      "link type " + link_name(unknown_links.begin()->first) + " is not supported");
    }
    for (const auto& [link, count] : unknown_links) {
      print_note(path + ": " + std::to_string(count) + " packets of unsupported link type " +
                 link_name(link) + " skipped");
    }
    if (fragments > 0) {
      print_note(path + ": " + std::to_string(fragments) + " IP fragments skipped");
    }
    if (cut_short > 0) {
      print_note(path + ": " + std::to_string(cut_short) +
                 " packets were cut short in the capture and skipped");
    }
    if (packets.empty()) {
      std::string reason = "no RTP packets with payload type " + std::to_string(payload_type) +
                           " (G.729) in " + std::to_string(number) + " packets";
      if (!other_types.empty()) {
        reason += "; RTP payload types seen:";
        for (int type : other_types) reason += " " + std::to_string(type);
        reason += " (use --pt)";
      }
      throw bad_input(path, reason);
    }
    return std::move(packets);
  }
};

std::string file_size_text(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? std::string("its end") : "byte " + std::to_string(size);
}

// A capture cut short (a copy stopped early, a full disk) keeps the
// packets that are complete, as packet analysers do.
void warn_cut_short(const std::string& path, long complete) {
  print_error("warning: " + path + ": the file stops at " + file_size_text(path) +
              ", in the middle of packet " + std::to_string(complete + 1) + "; the " +
              std::to_string(complete) + " complete packets before it are used");
}

bool names_cut_short(const std::string& reason) {
  return reason.rfind("truncated", 0) == 0 ||
         reason.find("file ends inside") != std::string::npos ||
         reason.find("does not fit the file") != std::string::npos;
}

// False with `error` set when libpcap cannot read the whole file.
bool read_with_libpcap(const std::string& path, Collector& collector, std::string& error) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  std::unique_ptr<pcap_t, PcapCloser> capture(pcap_open_offline(path.c_str(), errbuf));
  if (!capture) {
    error = std::string("not a readable capture: ") + errbuf;
    return false;
  }
  const int link = pcap_datalink(capture.get());
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  int result;
  while ((result = pcap_next_ex(capture.get(), &header, &data)) == 1) {
    collector.add(link, {data, header->caplen});
  }
  if (result == -1) {
    const std::string reason = pcap_geterr(capture.get());
    if (names_cut_short(reason)) {
      warn_cut_short(path, collector.number);
      return true;
    }
    error = "damaged capture after packet " + std::to_string(collector.number) + ": " + reason;
    return false;
  }
  return true;
}

// libpcap refuses pcapng files whose interfaces have different link types;
// those are read here, each packet with its own interface's link type.
// False when the file is not such a capture.
bool read_mixed_pcapng(const std::string& path, Collector& collector) {
  {
    std::ifstream in(path, std::ios::binary);
    unsigned char magic[4] = {};
    if (!in.read(reinterpret_cast<char*>(magic), 4) || magic[0] != 0x0A || magic[1] != 0x0D ||
        magic[2] != 0x0D || magic[3] != 0x0A) {
      return false;
    }
  }
  std::vector<std::uint8_t> file;
  try {
    file = read_whole_file(path);
  } catch (const ToolError&) {
    return false;
  }
  std::vector<g729io::PcapngPacket> frames;
  std::vector<int> links;
  std::string error;
  const bool whole = g729io::read_pcapng(file, frames, links, error);
  const std::set<int> distinct(links.begin(), links.end());
  if (distinct.size() < 2) return false;
  const int payload_type = collector.payload_type;
  collector = Collector();
  collector.payload_type = payload_type;
  for (const auto& frame : frames) collector.add(frame.link_type, frame.data);
  if (!whole && names_cut_short(error)) {
    warn_cut_short(path, collector.number);
  } else if (!whole) {
    throw bad_input(
        path, "damaged capture after packet " + std::to_string(collector.number) + ": " + error);
  }
  std::string names;
  for (int link : distinct) names += (names.empty() ? "" : ", ") + link_name(link);
  print_note(path + ": interfaces of " + std::to_string(distinct.size()) + " link types (" + names +
             ")");
  return true;
}

std::vector<StoredPacket> read_stream(const std::string& path, const CaptureOptions& options) {
  Collector collector;
  collector.payload_type = options.payload_type;
  std::string error;
  if (!read_with_libpcap(path, collector, error) && !read_mixed_pcapng(path, collector)) {
    throw bad_input(path, error);
  }
  return collector.finish(path);
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

  Timeline timeline;
  bool previous_damaged = false;
  bool told_cap = false;
  long refused = 0, skipped = 0;
  for (std::size_t i = 0; i < packets.size(); ++i) {
    const auto& packet = packets[i];
    progress.advance(1);
    const std::string where = path + ": packet " + std::to_string(packet.number);
    const std::uint16_t expected = timeline.next_sequence;
    const auto following =
        i + 1 < packets.size() ? std::optional(packets[i + 1].sequence) : std::nullopt;
    const Gap gap =
        timeline_gap(timeline, packet.sequence, packet.timestamp, previous_damaged, following);
    if (gap.late || gap.stray) {
      print_note(where + ": sequence " + std::to_string(packet.sequence) +
                 (gap.late ? " is late or repeated, skipped"
                           : " is far behind " + std::to_string(expected) +
                                 " and the stream does not go on from it, skipped"));
      ++skipped;
      continue;
    }
    if (gap.sequence_restart) {
      print_note(where + ": sequence jumps from " + std::to_string(expected) + " to " +
                 std::to_string(packet.sequence) + "; taken as a restart, not filled");
    } else if (gap.timestamp_restart) {
      print_note(where + ": timestamp jumps by " + std::to_string(gap.missing / kSampleRate) +
                 " s; taken as a restart, not filled");
    } else if (gap.missing > 0) {
      const FrameCounts before = stream.counts();
      stream.fill_missing(gap.silence, gap.erased ? Missing::Lost : Missing::NotSent);
      const std::string filled = millis(gap.silence) + " " + filled_as(before, stream.counts());
      if (gap.lost > 0) {
        print_note(where + ": " + std::to_string(gap.lost) + " packets lost (sequence " +
                   std::to_string(expected) + " to " +
                   std::to_string(static_cast<std::uint16_t>(packet.sequence - 1)) + "), " +
                   filled);
      } else {
        print_note(where + ": timestamps skip " + millis(gap.missing) + ", " + filled);
      }
      if (gap.silence_capped && !told_cap) {
        told_cap = true;
        print_note(where + ": gaps have filled " +
                   std::to_string(kMostSilenceSamples / kSampleRate / 3600) +
                   " h of silence; later gaps are not filled");
      }
    } else if (gap.lost > 0) {
      print_note(where + ": " + std::to_string(gap.lost) + " packets lost, timestamps show no gap");
    }
    const long before = stream.counts().samples;
    std::string error;
    previous_damaged = !stream.decode_payload(packet.payload, error);
    if (previous_damaged) {
      ++refused;
      print_error(where + ": payload of " + std::to_string(packet.payload.size()) +
                  " bytes refused: " + error);
    }
    timeline_advance(timeline, packet.sequence, packet.timestamp, stream.counts().samples - before);
  }
  if (refused > 0 || skipped > 0) {
    print_note(path + ": " + std::to_string(refused) + " packets refused, " +
               std::to_string(skipped) + " late, repeated or stray packets skipped");
  }
}

}  // namespace g729tool
