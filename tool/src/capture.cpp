#include "capture.h"

#include <pcap/pcap.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

#include "audio_file.h"
#include "input_source.h"
#include "pcapng_blocks.h"
#include "report.h"
#include "rtp_packet.h"
#include "rtp_stream.h"
#include "tool_error.h"

namespace g729tool {
namespace {

constexpr int kG729PayloadType = 18;

struct PcapCloser {
  void operator()(pcap_t* p) const { pcap_close(p); }
};

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

// Sorts the captured frames: RTP is kept by stream, SIP/SDP read for the
// payload types it gives G.729, the rest only counted.
struct Collector {
  std::vector<CapturedStream> streams;
  std::map<std::tuple<std::uint32_t, std::string, std::string, int>, std::size_t> index;
  std::map<int, std::string> sdp_g729;  // payload type -> annexb
  std::map<int, long> unknown_links;    // link type -> packets
  long number = 0, fragments = 0, cut_short = 0;

  void add(int link, std::span<const std::uint8_t> frame, double arrival) {
    ++number;
    std::span<const std::uint8_t> udp;
    g729io::UdpEndpoints ends;
    switch (g729io::find_udp_payload(link, frame, udp, &ends)) {
      case g729io::PacketStatus::Udp:
        break;
      case g729io::PacketStatus::NotUdp:
        return;
      case g729io::PacketStatus::Fragment:
        ++fragments;
        return;
      case g729io::PacketStatus::Truncated:
        ++cut_short;
        return;
      case g729io::PacketStatus::UnknownLink:
        ++unknown_links[link];
        return;
    }
    const auto sdp = g729_in_sdp(udp);
    if (!sdp.empty()) {
      for (const auto& m : sdp) sdp_g729[m.payload_type] = m.annexb;
      return;
    }
    g729io::RtpPacket rtp;
    if (!g729io::parse_rtp(udp, rtp)) return;
    const auto key = std::tuple(rtp.ssrc, ends.source, ends.destination, rtp.payload_type);
    auto [it, fresh] = index.emplace(key, streams.size());
    if (fresh) {
      CapturedStream s;
      s.ssrc = rtp.ssrc;
      s.source = ends.source;
      s.destination = ends.destination;
      s.payload_type = rtp.payload_type;
      streams.push_back(std::move(s));
    }
    streams[it->second].packets.push_back(
        {number, arrival, rtp.sequence, rtp.timestamp,
         std::vector<std::uint8_t>(rtp.payload.begin(), rtp.payload.end())});
  }

  std::vector<CapturedStream> finish(const std::string& path, const CaptureOptions& options) {
    if (streams.empty() && !unknown_links.empty()) {
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
    for (auto& s : streams) {
      if (options.payload_type) {
        s.g729 = s.payload_type == *options.payload_type;
      } else {
        s.g729 = s.payload_type == kG729PayloadType || sdp_g729.count(s.payload_type) > 0;
      }
      if (sdp_g729.count(s.payload_type)) s.annexb = sdp_g729[s.payload_type];
    }
    return std::move(streams);
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

// False with `error` set when libpcap cannot read the whole file. A pipe is
// read through `source`.
bool read_with_libpcap(const std::string& path, InputSource* source, Collector& collector,
                       std::string& error) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  std::unique_ptr<pcap_t, PcapCloser> capture;
  if (source) {
    std::FILE* stream = source->open_stream();
    capture.reset(stream ? pcap_fopen_offline(stream, errbuf) : nullptr);
    if (stream && !capture) std::fclose(stream);
  } else {
    capture.reset(pcap_open_offline(path.c_str(), errbuf));
  }
  if (!capture) {
    error = std::string("not a readable capture: ") + errbuf;
    return false;
  }
  const int link = pcap_datalink(capture.get());
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  int result;
  while ((result = pcap_next_ex(capture.get(), &header, &data)) == 1) {
    collector.add(link, {data, header->caplen},
                  static_cast<double>(header->ts.tv_sec) + header->ts.tv_usec * 1e-6);
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
  collector = Collector();
  // This reader keeps no capture times.
  for (const auto& frame : frames) collector.add(frame.link_type, frame.data, 0.0);
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

// Keeps the G.729 stream to decode: the requested SSRC, else the busiest.
const CapturedStream& select_stream(const std::string& path, const std::vector<CapturedStream>& all,
                                    const CaptureOptions& options) {
  std::vector<const CapturedStream*> g729;
  std::set<int> other_types;
  long packets = 0;
  for (const auto& s : all) {
    packets += static_cast<long>(s.packets.size());
    if (s.g729) {
      g729.push_back(&s);
    } else {
      other_types.insert(s.payload_type);
    }
  }
  if (g729.empty()) {
    const int type = options.payload_type.value_or(kG729PayloadType);
    std::string reason = "no RTP packets with payload type " + std::to_string(type) +
                         " (G.729) in " + std::to_string(packets) + " RTP packets";
    if (!other_types.empty()) {
      reason += "; RTP payload types seen:";
      for (int t : other_types) reason += " " + std::to_string(t);
      reason += " (use --pt)";
    }
    throw bad_input(path, reason);
  }
  const CapturedStream* chosen = g729.front();
  if (options.ssrc) {
    chosen = nullptr;
    for (const auto* s : g729) {
      if (s->ssrc == *options.ssrc && (!chosen || s->packets.size() > chosen->packets.size())) {
        chosen = s;
      }
    }
    if (!chosen) {
      std::string reason = "no G.729 stream with SSRC " + hex32(*options.ssrc) + "; streams:";
      for (const auto* s : g729) reason += " " + hex32(s->ssrc);
      throw bad_input(path, reason);
    }
  } else {
    for (const auto* s : g729) {
      if (s->packets.size() > chosen->packets.size()) chosen = s;
    }
    if (g729.size() > 1) {
      print_note(path + ": " + std::to_string(g729.size()) + " G.729 streams; decoding SSRC " +
                 hex32(chosen->ssrc) + " (" + std::to_string(chosen->packets.size()) +
                 " packets), choose another with --ssrc");
    }
  }
  return *chosen;
}

}  // namespace

std::string hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::vector<CapturedStream> read_capture(InputSource& source, const CaptureOptions& options) {
  const std::string& path = source.label();
  if (source.size() == 0 || source.head(1).empty()) {
    throw bad_input(path, "empty file, no packets");
  }
  Collector collector;
  std::string error;
  // Files are read by name (libpcap's own reader, and a second reader for
  // pcapng files that mix link types); standard input and pipes as a stream.
  const bool by_name = source.seekable() && !is_standard_stream_label(path);
  if (!read_with_libpcap(path, by_name ? nullptr : &source, collector, error) &&
      !(by_name && read_mixed_pcapng(path, collector))) {
    throw bad_input(path, error);
  }
  return collector.finish(path, options);
}

std::vector<CapturedStream> read_capture(const std::string& path, const CaptureOptions& options) {
  InputSource source(path);
  return read_capture(source, options);
}

bool looks_like_capture(std::span<const std::uint8_t> magic) {
  if (magic.size() < 4) return false;
  const std::uint32_t word =
      magic[0] | (magic[1] << 8) | (magic[2] << 16) | (static_cast<std::uint32_t>(magic[3]) << 24);
  return word == 0xA1B2C3D4 || word == 0xD4C3B2A1 || word == 0xA1B23C4D || word == 0x4D3CB2A1 ||
         word == 0x0A0D0D0A;
}

void decode_capture(InputSource& source, const CaptureOptions& options, DecodeStream& stream) {
  const auto streams = read_capture(source, options);
  decode_stream(source.label(), select_stream(source.label(), streams, options), stream);
}

void decode_stream(const std::string& path, const CapturedStream& rtp, DecodeStream& stream) {
  std::vector<std::uint16_t> sequences;
  sequences.reserve(rtp.packets.size());
  for (const auto& p : rtp.packets) sequences.push_back(p.sequence);
  const PacketOrder order = order_packets(sequences);
  // Each packet event is listed with -v; by default each kind is counted
  // and told once at the end.
  auto event = [](const std::string& message) {
    if (verbose()) print_note(message);
  };
  auto damage = [](const std::string& message) {
    if (verbose()) print_error(message);
  };
  for (std::size_t i : order.strays) {
    event(path + ": packet " + std::to_string(rtp.packets[i].number) + ": sequence " +
          std::to_string(rtp.packets[i].sequence) +
          " is far behind the stream and the stream does not go on from it, skipped");
  }
  for (std::size_t i : order.duplicates) {
    event(path + ": packet " + std::to_string(rtp.packets[i].number) + ": sequence " +
          std::to_string(rtp.packets[i].sequence) + " is a duplicate, dropped");
  }
  for (std::size_t i : order.late) {
    event(path + ": packet " + std::to_string(rtp.packets[i].number) + ": sequence " +
          std::to_string(rtp.packets[i].sequence) + " arrived late, used in its place");
  }
  Progress progress("decoding " + path, static_cast<double>(order.order.size()), 3000);

  Timeline timeline;
  bool previous_damaged = false;
  bool told_cap = false;
  long refused = 0, restarts = 0, lost = 0, lost_gaps = 0, skips = 0;
  for (std::size_t k = 0; k < order.order.size(); ++k) {
    const auto& packet = rtp.packets[order.order[k]];
    progress.advance(1);
    const std::string where = path + ": packet " + std::to_string(packet.number);
    const std::uint16_t expected = timeline.next_sequence;
    const auto following = k + 1 < order.order.size()
                               ? std::optional(rtp.packets[order.order[k + 1]].sequence)
                               : std::nullopt;
    const Gap gap =
        timeline_gap(timeline, packet.sequence, packet.timestamp, previous_damaged, following);
    if (gap.late || gap.stray) continue;  // ordered already; only a restart's odd ends
    if (gap.sequence_restart) {
      ++restarts;
      event(where + ": sequence jumps from " + std::to_string(expected) + " to " +
            std::to_string(packet.sequence) + "; taken as a restart, not filled");
    } else if (gap.timestamp_restart) {
      ++restarts;
      event(where + ": timestamp jumps by " + std::to_string(gap.missing / kSampleRate) +
            " s; taken as a restart, not filled");
    } else if (gap.missing > 0) {
      const FrameCounts before = stream.counts();
      stream.fill_missing(gap.silence, gap.erased ? Missing::Lost : Missing::NotSent);
      const std::string filled = millis(gap.silence) + " " + filled_as(before, stream.counts());
      if (gap.lost > 0) {
        lost += gap.lost;
        ++lost_gaps;
        event(where + ": " + count_of(gap.lost, "packet", "packets") + " lost (sequence " +
              std::to_string(expected) + " to " +
              std::to_string(static_cast<std::uint16_t>(packet.sequence - 1)) + "), " + filled);
      } else {
        ++skips;
        event(where + ": timestamps skip " + millis(gap.missing) + ", " + filled);
      }
      if (gap.silence_capped && !told_cap) {
        told_cap = true;
        print_note(where + ": gaps have filled " +
                   std::to_string(kMostSilenceSamples / kSampleRate / 3600) +
                   " h of silence; later gaps are not filled");
      }
    } else if (gap.lost > 0) {
      lost += gap.lost;
      ++lost_gaps;
      event(where + ": " + count_of(gap.lost, "packet", "packets") +
            " lost, timestamps show no gap");
    }
    const long before = stream.counts().samples;
    std::string error;
    previous_damaged = !stream.decode_payload(packet.payload, error);
    if (previous_damaged) {
      ++refused;
      damage(where + ": payload of " + std::to_string(packet.payload.size()) +
             " bytes refused: " + error);
    }
    timeline_advance(timeline, packet.sequence, packet.timestamp, stream.counts().samples - before);
  }
  stream.note_reordering(static_cast<long>(order.late.size()),
                         static_cast<long>(order.duplicates.size()));
  std::vector<std::string> kinds;
  auto kind = [&](long count, const std::string& text) {
    if (count > 0) kinds.push_back(text);
  };
  const auto late = static_cast<long>(order.late.size());
  const auto duplicates = static_cast<long>(order.duplicates.size());
  const auto strays = static_cast<long>(order.strays.size());
  kind(late, count_of(late, "late packet", "late packets") + " used");
  kind(duplicates, count_of(duplicates, "duplicate", "duplicates") + " dropped");
  kind(strays, count_of(strays, "stray packet", "stray packets") + " skipped");
  kind(lost, count_of(lost, "packet", "packets") + " lost in " +
                 count_of(lost_gaps, "gap", "gaps") + ", filled");
  kind(skips, count_of(skips, "timestamp gap", "timestamp gaps") + " filled");
  kind(restarts, count_of(restarts, "restart", "restarts") + " of the stream, not filled");
  kind(refused, count_of(refused, "payload", "payloads") + " refused by the decoder");
  if (!kinds.empty()) {
    std::string text;
    for (const auto& k : kinds) text += (text.empty() ? "" : ", ") + k;
    const std::string line = path + ": " + text + (verbose() ? "" : " (-v lists each packet)");
    // Refused payloads are damage, shown even with -q.
    if (refused > 0) {
      print_error("warning: " + line);
    } else {
      print_note(line);
    }
  }
}

}  // namespace g729tool
