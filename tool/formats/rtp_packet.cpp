#include "rtp_packet.h"

#include <arpa/inet.h>

namespace g729io {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint16_t kEtherIpv4 = 0x0800;
constexpr std::uint16_t kEtherIpv6 = 0x86DD;
constexpr int kProtocolUdp = 17;

std::uint16_t be16(Bytes b, std::size_t at) {
  return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

std::uint32_t be32(Bytes b, std::size_t at) {
  return (static_cast<std::uint32_t>(b[at]) << 24) | (static_cast<std::uint32_t>(b[at + 1]) << 16) |
         (static_cast<std::uint32_t>(b[at + 2]) << 8) | b[at + 3];
}

// The addresses as text, set while the IP header is at hand.
struct Addresses {
  std::string source, destination;
};

std::string address_text(int family, const std::uint8_t* bytes) {
  char text[INET6_ADDRSTRLEN] = {};
  if (!inet_ntop(family, bytes, text, sizeof text)) return "?";
  if (family != AF_INET6) return text;
  std::string bracketed = "[";
  bracketed += text;
  bracketed += ']';
  return bracketed;
}

PacketStatus udp_from_datagram(Bytes udp, Bytes& payload, const Addresses& from,
                               UdpEndpoints* endpoints) {
  if (udp.size() < 8) return PacketStatus::Truncated;
  const std::size_t length = be16(udp, 4);
  if (length < 8 || length > udp.size()) return PacketStatus::Truncated;
  payload = udp.subspan(8, length - 8);
  if (endpoints) {
    endpoints->source = from.source + ":" + std::to_string(be16(udp, 0));
    endpoints->destination = from.destination + ":" + std::to_string(be16(udp, 2));
  }
  return PacketStatus::Udp;
}

PacketStatus udp_from_ipv4(Bytes ip, Bytes& payload, UdpEndpoints* endpoints) {
  if (ip.size() < 20) return PacketStatus::Truncated;
  if ((ip[0] >> 4) != 4) return PacketStatus::NotUdp;
  const std::size_t header = static_cast<std::size_t>(ip[0] & 0x0F) * 4;
  const std::size_t total = be16(ip, 2);
  if (header < 20 || total < header) return PacketStatus::NotUdp;
  if (total > ip.size()) return PacketStatus::Truncated;
  if (ip[9] != kProtocolUdp) return PacketStatus::NotUdp;
  const bool more_fragments = (ip[6] & 0x20) != 0;
  const std::uint16_t offset = be16(ip, 6) & 0x1FFF;
  if (more_fragments || offset != 0) return PacketStatus::Fragment;
  Addresses from;
  if (endpoints) from = {address_text(AF_INET, &ip[12]), address_text(AF_INET, &ip[16])};
  return udp_from_datagram(ip.subspan(header, total - header), payload, from, endpoints);
}

PacketStatus udp_from_ipv6(Bytes ip, Bytes& payload, UdpEndpoints* endpoints) {
  if (ip.size() < 40) return PacketStatus::Truncated;
  if ((ip[0] >> 4) != 6) return PacketStatus::NotUdp;
  const std::size_t length = be16(ip, 4);
  if (40 + length > ip.size()) return PacketStatus::Truncated;
  Bytes rest = ip.subspan(40, length);
  int next = ip[6];
  // Skip hop-by-hop, routing and destination options headers.
  while (next == 0 || next == 43 || next == 60) {
    if (rest.size() < 8) return PacketStatus::Truncated;
    const std::size_t size = (static_cast<std::size_t>(rest[1]) + 1) * 8;
    if (size > rest.size()) return PacketStatus::Truncated;
    next = rest[0];
    rest = rest.subspan(size);
  }
  if (next == 44) return PacketStatus::Fragment;
  if (next != kProtocolUdp) return PacketStatus::NotUdp;
  Addresses from;
  if (endpoints) from = {address_text(AF_INET6, &ip[8]), address_text(AF_INET6, &ip[24])};
  return udp_from_datagram(rest, payload, from, endpoints);
}

PacketStatus udp_from_ethertype(std::uint16_t type, Bytes ip, Bytes& payload,
                                UdpEndpoints* endpoints) {
  if (type == kEtherIpv4) return udp_from_ipv4(ip, payload, endpoints);
  if (type == kEtherIpv6) return udp_from_ipv6(ip, payload, endpoints);
  return PacketStatus::NotUdp;
}

PacketStatus udp_from_ip(Bytes ip, Bytes& payload, UdpEndpoints* endpoints) {
  if (ip.empty()) return PacketStatus::Truncated;
  if ((ip[0] >> 4) == 4) return udp_from_ipv4(ip, payload, endpoints);
  if ((ip[0] >> 4) == 6) return udp_from_ipv6(ip, payload, endpoints);
  return PacketStatus::NotUdp;
}

}  // namespace

PacketStatus find_udp_payload(int link_type, Bytes frame, Bytes& udp_payload) {
  return find_udp_payload(link_type, frame, udp_payload, nullptr);
}

PacketStatus find_udp_payload(int link_type, Bytes frame, Bytes& udp_payload,
                              UdpEndpoints* endpoints) {
  switch (link_type) {
    case kLinkEthernet: {
      if (frame.size() < 14) return PacketStatus::Truncated;
      std::size_t at = 12;
      std::uint16_t type = be16(frame, at);
      // 802.1Q / 802.1ad tags, possibly stacked.
      while (type == 0x8100 || type == 0x88A8 || type == 0x9100) {
        at += 4;
        if (frame.size() < at + 2) return PacketStatus::Truncated;
        type = be16(frame, at);
      }
      return udp_from_ethertype(type, frame.subspan(at + 2), udp_payload, endpoints);
    }
    case kLinkLinuxSll:
      if (frame.size() < 16) return PacketStatus::Truncated;
      return udp_from_ethertype(be16(frame, 14), frame.subspan(16), udp_payload, endpoints);
    case kLinkLinuxSll2:
      if (frame.size() < 20) return PacketStatus::Truncated;
      return udp_from_ethertype(be16(frame, 0), frame.subspan(20), udp_payload, endpoints);
    case kLinkNull:
    case kLinkLoop:
      // The 4-byte family word's byte order varies; the IP version nibble decides.
      if (frame.size() < 4) return PacketStatus::Truncated;
      return udp_from_ip(frame.subspan(4), udp_payload, endpoints);
    case kLinkRaw:
    case kLinkRawOpenBsd:
    case kLinkRawLinktype:
      return udp_from_ip(frame, udp_payload, endpoints);
    case kLinkIpv4:
      return udp_from_ipv4(frame, udp_payload, endpoints);
    case kLinkIpv6:
      return udp_from_ipv6(frame, udp_payload, endpoints);
    default:
      return PacketStatus::UnknownLink;
  }
}

bool parse_rtp(Bytes datagram, RtpPacket& packet) {
  if (datagram.size() < 12 || (datagram[0] >> 6) != 2) return false;
  std::size_t header = 12 + 4 * static_cast<std::size_t>(datagram[0] & 0x0F);
  if (header > datagram.size()) return false;
  if (datagram[0] & 0x10) {
    if (header + 4 > datagram.size()) return false;
    header += 4 + 4 * static_cast<std::size_t>(be16(datagram, header + 2));
    if (header > datagram.size()) return false;
  }
  std::size_t end = datagram.size();
  if (datagram[0] & 0x20) {
    const std::size_t padding = datagram[end - 1];
    if (padding == 0 || padding > end - header) return false;
    end -= padding;
  }
  packet.marker = (datagram[1] & 0x80) != 0;
  packet.payload_type = datagram[1] & 0x7F;
  packet.sequence = be16(datagram, 2);
  packet.timestamp = be32(datagram, 4);
  packet.ssrc = be32(datagram, 8);
  packet.payload = datagram.subspan(header, end - header);
  return true;
}

}  // namespace g729io
