// Captures as a damaged or hostile file may hold them: pcapng blocks,
// captured frames of every link type the tool reads, and the stream
// timeline over the RTP packets found.
#include <pcap/pcap.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pcapng_blocks.h"
#include "rtp_packet.h"
#include "rtp_stream.h"

namespace {

constexpr int kLinks[] = {g729io::kLinkNull,
                          g729io::kLinkEthernet,
                          g729io::kLinkRaw,
                          g729io::kLinkRawOpenBsd,
                          g729io::kLinkRawLinktype,
                          g729io::kLinkLoop,
                          g729io::kLinkLinuxSll,
                          g729io::kLinkIpv4,
                          g729io::kLinkIpv6,
                          g729io::kLinkLinuxSll2,
                          147};

bool inside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

// Touches every byte so that a span reaching past its buffer is caught.
unsigned sum(std::span<const std::uint8_t> bytes) {
  unsigned total = 0;
  for (auto b : bytes) total += b;
  return total;
}

struct Stream {
  struct Packet {
    std::uint16_t sequence;
    std::uint32_t timestamp;
    long samples;  // what the decoder would give: 80 per speech or SID frame
  };
  int payload_type = 18;
  std::vector<Packet> packets;
  unsigned checksum = 0;

  // in: frame, copied to a buffer of exactly its size
  void add(int link, std::span<const std::uint8_t> bytes) {
    const std::vector<std::uint8_t> frame(bytes.begin(), bytes.end());
    g729io::RtpPacket rtp;
    const auto verdict = g729tool::rtp_in_frame(link, frame, payload_type, rtp);
    if (verdict != g729tool::FrameVerdict::Rtp &&
        verdict != g729tool::FrameVerdict::OtherPayloadType) {
      return;
    }
    if (!inside(rtp.payload, frame)) std::abort();
    checksum += sum(rtp.payload);
    if (verdict != g729tool::FrameVerdict::Rtp) return;
    packets.push_back(
        {rtp.sequence, rtp.timestamp, static_cast<long>((rtp.payload.size() + 8) / 10) * 80});
  }

  // The timeline as the tool lays it out.
  void finish() {
    g729tool::Timeline timeline;
    for (std::size_t i = 0; i < packets.size(); ++i) {
      const auto& p = packets[i];
      const auto following =
          i + 1 < packets.size() ? std::optional(packets[i + 1].sequence) : std::nullopt;
      const auto gap = g729tool::timeline_gap(timeline, p.sequence, p.timestamp, false, following);
      if (gap.late || gap.stray) continue;
      if (gap.silence < 0 || gap.silence > g729tool::kLongestGapSamples) std::abort();
      g729tool::timeline_advance(timeline, p.sequence, p.timestamp, p.samples);
    }
    // A capture cannot ask for more silence than the cap, whatever its size.
    if (timeline.silence > g729tool::kMostSilenceSamples) std::abort();
  }
};

}  // namespace

// Input: a first byte choosing the mode. 0xC0 and above: the rest is a
// capture file for libpcap, whose frames go on as the tool takes them.
// 0x80 and above: a pcapng file for the tool's own block reader.
// Otherwise the byte picks a link type and the rest is frames, each
// preceded by a 16-bit length.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  Stream stream;
  if (data[0] >= 0xC0) {
    std::vector<std::uint8_t> file(data + 1, data + size);
    FILE* in = fmemopen(file.data(), file.size(), "rb");
    if (!in) return 0;
    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* capture = pcap_fopen_offline(in, errbuf);  // owns `in` from here
    if (!capture) {
      std::fclose(in);
      return 0;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* frame = nullptr;
    while (pcap_next_ex(capture, &header, &frame) == 1) {
      stream.add(pcap_datalink(capture), {frame, header->caplen});
    }
    pcap_close(capture);
  } else if (data[0] & 0x80) {
    const std::vector<std::uint8_t> file(data + 1, data + size);
    std::vector<g729io::PcapngPacket> packets;
    std::vector<int> links;
    std::string error;
    if (!g729io::read_pcapng(file, packets, links, error) && error.empty()) std::abort();
    for (const auto& p : packets) {
      if (!inside(p.data, file)) std::abort();
      stream.add(p.link_type, p.data);
    }
  } else {
    const int link = kLinks[data[0] % std::size(kLinks)];
    stream.payload_type = data[0] & 0x40 ? 96 : 18;
    std::size_t pos = 1;
    while (pos + 2 <= size) {
      const std::size_t length =
          std::min<std::size_t>(data[pos] | (data[pos + 1] << 8), size - pos - 2);
      pos += 2;
      stream.add(link, {data + pos, length});
      pos += length;
    }
  }
  stream.finish();
  volatile unsigned sink = stream.checksum;
  (void)sink;
  return 0;
}
