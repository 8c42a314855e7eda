#include "tool/capture_writer.h"

namespace tooltest {
namespace {

void be16(Bytes& out, unsigned v) {
  out.push_back((v >> 8) & 0xFF);
  out.push_back(v & 0xFF);
}
void be32(Bytes& out, std::uint32_t v) {
  be16(out, v >> 16);
  be16(out, v & 0xFFFF);
}
void le16(Bytes& out, unsigned v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}
void le32(Bytes& out, std::uint32_t v) {
  le16(out, v & 0xFFFF);
  le16(out, v >> 16);
}

Bytes ethernet(unsigned ethertype) {
  Bytes frame{0x02, 0, 0, 0, 0, 0x01, 0x02, 0, 0, 0, 0, 0x02};
  be16(frame, ethertype);
  return frame;
}

Bytes udp(const Bytes& datagram, std::uint16_t source_port = 5004,
          std::uint16_t destination_port = 4000) {
  Bytes out;
  be16(out, source_port);
  be16(out, destination_port);
  be16(out, static_cast<unsigned>(datagram.size() + 8));
  be16(out, 0);
  out.insert(out.end(), datagram.begin(), datagram.end());
  return out;
}

}  // namespace

Bytes rtp_packet(const Rtp& rtp) {
  Bytes out{0x80, static_cast<std::uint8_t>(rtp.payload_type)};
  be16(out, rtp.sequence);
  be32(out, rtp.timestamp);
  be32(out, rtp.ssrc);
  out.insert(out.end(), rtp.payload.begin(), rtp.payload.end());
  return out;
}

Bytes ethernet_ipv4_udp(const Bytes& datagram) {
  return ethernet_ipv4_udp(datagram, Udp4{});
}

Bytes ethernet_ipv4_udp(const Bytes& datagram, const Udp4& ends) {
  const Bytes segment = udp(datagram, ends.source_port, ends.destination_port);
  Bytes frame = ethernet(0x0800);
  const Bytes header{0x45,
                     0,
                     static_cast<std::uint8_t>((segment.size() + 20) >> 8),
                     static_cast<std::uint8_t>((segment.size() + 20) & 0xFF),
                     0,
                     1,
                     0x40,
                     0,
                     64,
                     17,
                     0,
                     0,
                     ends.source[0],
                     ends.source[1],
                     ends.source[2],
                     ends.source[3],
                     ends.destination[0],
                     ends.destination[1],
                     ends.destination[2],
                     ends.destination[3]};
  frame.insert(frame.end(), header.begin(), header.end());
  frame.insert(frame.end(), segment.begin(), segment.end());
  return frame;
}

Bytes ethernet_ipv6_udp(const Bytes& datagram) {
  const Bytes segment = udp(datagram);
  Bytes frame = ethernet(0x86DD);
  frame.insert(frame.end(), {0x60, 0, 0, 0});
  be16(frame, static_cast<unsigned>(segment.size()));
  frame.push_back(17);  // next header: UDP
  frame.push_back(64);
  for (int i = 0; i < 2; ++i) {
    frame.insert(frame.end(), {0x20, 0x01, 0x0d, 0xb8});
    frame.insert(frame.end(), 11, 0);
    frame.push_back(static_cast<std::uint8_t>(i + 1));
  }
  frame.insert(frame.end(), segment.begin(), segment.end());
  return frame;
}

Bytes pcap_file(const std::vector<Bytes>& frames) {
  Bytes out;
  le32(out, 0xA1B2C3D4);
  le16(out, 2);
  le16(out, 4);
  le32(out, 0);
  le32(out, 0);
  le32(out, 65535);
  le32(out, 1);
  std::uint32_t usec = 0;
  for (const auto& frame : frames) {
    le32(out, 1700000000);
    le32(out, usec += 20000);
    le32(out, static_cast<std::uint32_t>(frame.size()));
    le32(out, static_cast<std::uint32_t>(frame.size()));
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

Bytes sip_with_sdp(int payload_type, const std::string& annexb) {
  const std::string n = std::to_string(payload_type);
  std::string text =
      "INVITE sip:bob@10.0.0.2 SIP/2.0\r\nContent-Type: application/sdp\r\n\r\n"
      "v=0\r\no=- 1 1 IN IP4 10.0.0.1\r\ns=-\r\nc=IN IP4 10.0.0.1\r\nt=0 0\r\n"
      "m=audio 5004 RTP/AVP " +
      n + " 0 101\r\na=rtpmap:" + n + " G729/8000\r\n";
  if (!annexb.empty()) text += "a=fmtp:" + n + " annexb=" + annexb + "\r\n";
  text += "a=rtpmap:0 PCMU/8000\r\na=rtpmap:101 telephone-event/8000\r\n";
  return Bytes(text.begin(), text.end());
}

Bytes pcap_file_timed(const std::vector<TimedFrame>& frames) {
  Bytes out;
  le32(out, 0xA1B2C3D4);
  le16(out, 2);
  le16(out, 4);
  le32(out, 0);
  le32(out, 0);
  le32(out, 65535);
  le32(out, 1);
  for (const auto& frame : frames) {
    const auto seconds = static_cast<std::uint32_t>(frame.time);
    le32(out, seconds);
    le32(out, static_cast<std::uint32_t>((frame.time - seconds) * 1e6 + 0.5));
    le32(out, static_cast<std::uint32_t>(frame.bytes.size()));
    le32(out, static_cast<std::uint32_t>(frame.bytes.size()));
    out.insert(out.end(), frame.bytes.begin(), frame.bytes.end());
  }
  return out;
}

Bytes pcapng_file(const std::vector<Bytes>& frames) {
  std::vector<CapturedFrame> on_first;
  for (const auto& frame : frames) on_first.push_back({0, frame});
  return pcapng_interfaces({1}, on_first);
}

Bytes pcapng_interfaces(const std::vector<int>& link_types,
                        const std::vector<CapturedFrame>& frames) {
  Bytes out;
  // Section header block.
  le32(out, 0x0A0D0D0A);
  le32(out, 28);
  le32(out, 0x1A2B3C4D);
  le16(out, 1);
  le16(out, 0);
  le32(out, 0xFFFFFFFF);
  le32(out, 0xFFFFFFFF);
  le32(out, 28);
  for (int link : link_types) {
    // Interface description block.
    le32(out, 1);
    le32(out, 20);
    le16(out, static_cast<unsigned>(link));
    le16(out, 0);
    le32(out, 65535);
    le32(out, 20);
  }
  std::uint32_t stamp = 0;
  for (const auto& frame : frames) {
    const std::uint32_t padded = static_cast<std::uint32_t>((frame.bytes.size() + 3) & ~3u);
    const std::uint32_t length = 32 + padded;
    le32(out, 6);  // enhanced packet block
    le32(out, length);
    le32(out, frame.interface);
    le32(out, 0);
    le32(out, stamp += 20000);
    le32(out, static_cast<std::uint32_t>(frame.bytes.size()));
    le32(out, static_cast<std::uint32_t>(frame.bytes.size()));
    out.insert(out.end(), frame.bytes.begin(), frame.bytes.end());
    out.insert(out.end(), padded - frame.bytes.size(), 0);
    le32(out, length);
  }
  return out;
}

Bytes ip_of_ethernet(const Bytes& frame) {
  return Bytes(frame.begin() + 14, frame.end());
}

}  // namespace tooltest
