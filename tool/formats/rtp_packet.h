// RTP over UDP inside captured link-layer frames (Ethernet with VLAN tags,
// Linux cooked, raw IP, BSD loopback), IPv4 and IPv6.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace g729io {

enum class PacketStatus {
  Udp,          // found a UDP datagram
  NotUdp,       // another protocol; not an error
  Fragment,     // an IP fragment; cannot be read on its own
  Truncated,    // the frame ends before its headers say it should
  UnknownLink,  // a link type this reader does not know
};

// Link-type numbers as libpcap reports them (DLT_*).
inline constexpr int kLinkNull = 0;
inline constexpr int kLinkEthernet = 1;
inline constexpr int kLinkRaw = 12;
inline constexpr int kLinkRawOpenBsd = 14;
inline constexpr int kLinkRawLinktype = 101;
inline constexpr int kLinkLoop = 108;
inline constexpr int kLinkLinuxSll = 113;
inline constexpr int kLinkIpv4 = 228;
inline constexpr int kLinkIpv6 = 229;
inline constexpr int kLinkLinuxSll2 = 276;

// Finds the UDP payload of a captured frame. `udp_payload` is valid only
// when the result is PacketStatus::Udp.
PacketStatus find_udp_payload(int link_type, std::span<const std::uint8_t> frame,
                              std::span<const std::uint8_t>& udp_payload);

// "10.0.0.1:5004", "[2001:db8::1]:4000"
struct UdpEndpoints {
  std::string source;
  std::string destination;
};
// The same, also giving the datagram's addresses and ports (may be null).
PacketStatus find_udp_payload(int link_type, std::span<const std::uint8_t> frame,
                              std::span<const std::uint8_t>& udp_payload, UdpEndpoints* endpoints);

struct RtpPacket {
  int payload_type = 0;
  bool marker = false;
  std::uint16_t sequence = 0;
  std::uint32_t timestamp = 0;
  std::uint32_t ssrc = 0;
  std::span<const std::uint8_t> payload;  // without header, extension and padding
};

// False when the datagram is not a well-formed RTP version 2 packet.
bool parse_rtp(std::span<const std::uint8_t> datagram, RtpPacket& packet);

}  // namespace g729io
