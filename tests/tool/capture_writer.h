// Packet captures built by the tests: RTP in UDP in IPv4 or IPv6 in
// Ethernet, written as classic pcap or pcapng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tooltest {

using Bytes = std::vector<std::uint8_t>;

struct Rtp {
  std::uint16_t sequence = 0;
  std::uint32_t timestamp = 0;
  std::uint32_t ssrc = 0x11223344;
  int payload_type = 18;
  Bytes payload;
};

Bytes rtp_packet(const Rtp& rtp);
// Ethernet frame carrying the datagram to UDP port 4000.
Bytes ethernet_ipv4_udp(const Bytes& datagram);

// Addresses and ports of an IPv4 datagram.
struct Udp4 {
  std::uint8_t source[4] = {10, 0, 0, 1};
  std::uint8_t destination[4] = {10, 0, 0, 2};
  std::uint16_t source_port = 5004;
  std::uint16_t destination_port = 4000;
};
Bytes ethernet_ipv4_udp(const Bytes& datagram, const Udp4& ends);

// A SIP message over UDP whose SDP offers `payload_type` as G729/8000,
// with "a=fmtp:N annexb=..." when annexb is not empty.
Bytes sip_with_sdp(int payload_type, const std::string& annexb);

// Classic pcap with a capture time (seconds) per frame.
struct TimedFrame {
  double time = 0;
  Bytes bytes;
};
Bytes pcap_file_timed(const std::vector<TimedFrame>& frames);
Bytes ethernet_ipv6_udp(const Bytes& datagram);

Bytes pcap_file(const std::vector<Bytes>& frames);    // link type Ethernet
Bytes pcapng_file(const std::vector<Bytes>& frames);  // one Ethernet interface

// A pcapng section with several interfaces; each frame names its own.
struct CapturedFrame {
  std::uint32_t interface = 0;
  Bytes bytes;
};
Bytes pcapng_interfaces(const std::vector<int>& link_types,
                        const std::vector<CapturedFrame>& frames);
// The IPv4 packet of an Ethernet frame, for raw IP links.
Bytes ip_of_ethernet(const Bytes& frame);

}  // namespace tooltest
