// Finding RTP inside captured frames.
#include "rtp_packet.h"

#include <gtest/gtest.h>

#include "tool/capture_writer.h"

namespace tooltest {
namespace {

using g729io::PacketStatus;

Bytes sample_rtp() {
  return rtp_packet({9, 1234, 0xCAFE, 18, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}});
}

TEST(RtpPacket, EthernetIpv4AndIpv6WithTagsAndExtensionHeaders) {
  const Bytes datagram = sample_rtp();
  std::span<const std::uint8_t> udp;
  Bytes v4 = ethernet_ipv4_udp(datagram);
  ASSERT_EQ(g729io::find_udp_payload(g729io::kLinkEthernet, v4, udp), PacketStatus::Udp);
  EXPECT_EQ(Bytes(udp.begin(), udp.end()), datagram);

  // Ethernet padding after the IP packet is not part of the datagram.
  v4.insert(v4.end(), 6, 0);
  ASSERT_EQ(g729io::find_udp_payload(g729io::kLinkEthernet, v4, udp), PacketStatus::Udp);
  EXPECT_EQ(udp.size(), datagram.size());

  // Two VLAN tags before the IPv6 header, and a hop-by-hop options header.
  Bytes v6 = ethernet_ipv6_udp(datagram);
  Bytes tagged(v6.begin(), v6.begin() + 12);
  tagged.insert(tagged.end(), {0x88, 0xA8, 0, 5, 0x81, 0x00, 0, 7});
  Bytes ip(v6.begin() + 14, v6.end());
  ip[6] = 0;                                     // next header: hop-by-hop
  ip[5] = static_cast<std::uint8_t>(ip[5] + 8);  // payload grows by 8
  ip.insert(ip.begin() + 40, {17, 0, 1, 4, 0, 0, 0, 0});
  tagged.insert(tagged.end(), {0x86, 0xDD});
  tagged.insert(tagged.end(), ip.begin(), ip.end());
  ASSERT_EQ(g729io::find_udp_payload(g729io::kLinkEthernet, tagged, udp), PacketStatus::Udp);
  EXPECT_EQ(Bytes(udp.begin(), udp.end()), datagram);

  // Raw IP and Linux cooked links carry the same IP packet.
  const Bytes raw(v4.begin() + 14, v4.end());
  ASSERT_EQ(g729io::find_udp_payload(g729io::kLinkRawLinktype, raw, udp), PacketStatus::Udp);
  Bytes cooked(14, 0);
  cooked.insert(cooked.end(), {0x08, 0x00});
  cooked.insert(cooked.end(), raw.begin(), raw.end());
  ASSERT_EQ(g729io::find_udp_payload(g729io::kLinkLinuxSll, cooked, udp), PacketStatus::Udp);
  EXPECT_EQ(udp.size(), datagram.size());
}

TEST(RtpPacket, FragmentsTruncationAndOtherProtocols) {
  const Bytes v4 = ethernet_ipv4_udp(sample_rtp());
  std::span<const std::uint8_t> udp;
  Bytes fragment = v4;
  fragment[14 + 6] |= 0x20;  // more fragments
  EXPECT_EQ(g729io::find_udp_payload(1, fragment, udp), PacketStatus::Fragment);
  Bytes later = v4;
  later[14 + 7] = 3;  // fragment offset
  EXPECT_EQ(g729io::find_udp_payload(1, later, udp), PacketStatus::Fragment);
  const Bytes cut(v4.begin(), v4.end() - 3);
  EXPECT_EQ(g729io::find_udp_payload(1, cut, udp), PacketStatus::Truncated);
  EXPECT_EQ(g729io::find_udp_payload(1, Bytes(13, 0), udp), PacketStatus::Truncated);
  Bytes tcp = v4;
  tcp[14 + 9] = 6;
  EXPECT_EQ(g729io::find_udp_payload(1, tcp, udp), PacketStatus::NotUdp);
  Bytes arp = v4;
  arp[12] = 0x08;
  arp[13] = 0x06;
  EXPECT_EQ(g729io::find_udp_payload(1, arp, udp), PacketStatus::NotUdp);
  EXPECT_EQ(g729io::find_udp_payload(147, v4, udp), PacketStatus::UnknownLink);
}

TEST(RtpPacket, HeaderFieldsCsrcExtensionAndPadding) {
  g729io::RtpPacket rtp;
  const Bytes plain = sample_rtp();
  ASSERT_TRUE(g729io::parse_rtp(plain, rtp));
  EXPECT_EQ(rtp.payload_type, 18);
  EXPECT_EQ(rtp.sequence, 9);
  EXPECT_EQ(rtp.timestamp, 1234u);
  EXPECT_EQ(rtp.ssrc, 0xCAFEu);
  EXPECT_EQ(rtp.payload.size(), 10u);

  // One CSRC, a one-word extension, three bytes of padding.
  Bytes full(plain.begin(), plain.begin() + 12);
  full[0] = 0x80 | 0x20 | 0x10 | 1;
  full.insert(full.end(), {0, 0, 0, 1});                    // CSRC
  full.insert(full.end(), {0xBE, 0xDE, 0, 1, 9, 9, 9, 9});  // extension
  full.insert(full.end(), plain.begin() + 12, plain.end());
  full.insert(full.end(), {0, 0, 3});
  ASSERT_TRUE(g729io::parse_rtp(full, rtp));
  EXPECT_EQ(Bytes(rtp.payload.begin(), rtp.payload.end()), Bytes(plain.begin() + 12, plain.end()));

  Bytes bad_padding = full;
  bad_padding.back() = 200;
  EXPECT_FALSE(g729io::parse_rtp(bad_padding, rtp));
  Bytes version1 = plain;
  version1[0] = 0x40;
  EXPECT_FALSE(g729io::parse_rtp(version1, rtp));
  EXPECT_FALSE(g729io::parse_rtp(Bytes(plain.begin(), plain.begin() + 11), rtp));
  Bytes long_extension(full.begin(), full.begin() + 20);
  long_extension[18] = 0x40;  // extension claims 64 words
  EXPECT_FALSE(g729io::parse_rtp(long_extension, rtp));
}

}  // namespace
}  // namespace tooltest
