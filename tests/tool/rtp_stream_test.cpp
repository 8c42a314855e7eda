// Where packets fall on a stream's timeline, and which frames hold G.729.
#include "rtp_stream.h"

#include <gtest/gtest.h>

#include "tool/capture_writer.h"

namespace tooltest {
namespace {

using g729tool::FrameVerdict;
using g729tool::Gap;
using g729tool::Timeline;

// A packet of two frames at (sequence, timestamp), then the next one.
Gap after_first(std::uint16_t sequence, std::uint32_t timestamp, std::uint16_t next_sequence,
                std::uint32_t next_timestamp, bool damaged = false,
                std::optional<std::uint16_t> following = std::nullopt) {
  Timeline t;
  EXPECT_FALSE(g729tool::timeline_gap(t, sequence, timestamp, false, next_sequence).late);
  g729tool::timeline_advance(t, sequence, timestamp, 160);
  return g729tool::timeline_gap(t, next_sequence, next_timestamp, damaged, following);
}

TEST(RtpStream, FramesOfOtherPayloadTypesAndProtocolsAreToldApart) {
  const Bytes datagram = rtp_packet({9, 1234, 0xCAFE, 18, Bytes(20, 1)});
  g729io::RtpPacket rtp;
  EXPECT_EQ(g729tool::rtp_in_frame(1, ethernet_ipv4_udp(datagram), 18, rtp), FrameVerdict::Rtp);
  EXPECT_EQ(rtp.payload.size(), 20u);
  EXPECT_EQ(g729tool::rtp_in_frame(1, ethernet_ipv4_udp(datagram), 96, rtp),
            FrameVerdict::OtherPayloadType);
  EXPECT_EQ(rtp.payload_type, 18);
  Bytes not_rtp = datagram;
  not_rtp[0] = 0x40;
  EXPECT_EQ(g729tool::rtp_in_frame(1, ethernet_ipv4_udp(not_rtp), 18, rtp), FrameVerdict::NotRtp);
  EXPECT_EQ(g729tool::rtp_in_frame(101, ip_of_ethernet(ethernet_ipv4_udp(datagram)), 18, rtp),
            FrameVerdict::Rtp);
  EXPECT_EQ(g729tool::rtp_in_frame(147, ethernet_ipv4_udp(datagram), 18, rtp),
            FrameVerdict::UnknownLink);
  const Bytes whole = ethernet_ipv4_udp(datagram);
  EXPECT_EQ(g729tool::rtp_in_frame(1, Bytes(whole.begin(), whole.end() - 1), 18, rtp),
            FrameVerdict::Truncated);
}

TEST(RtpStream, LostPacketsAndTimestampGapsBecomeSilence) {
  Gap next = after_first(10, 1000, 11, 1160);
  EXPECT_EQ(next.lost, 0);
  EXPECT_EQ(next.silence, 0);
  Gap lost = after_first(10, 1000, 13, 1480);
  EXPECT_EQ(lost.lost, 2);
  EXPECT_EQ(lost.silence, 320);
  EXPECT_TRUE(lost.erased);
  Gap quiet = after_first(10, 1000, 11, 1400);
  EXPECT_EQ(quiet.silence, 240);
  EXPECT_FALSE(quiet.erased);
  EXPECT_TRUE(after_first(10, 1000, 11, 1400, true).erased);
  // A timestamp behind the expected one leaves no gap.
  EXPECT_EQ(after_first(10, 1000, 11, 1100).silence, 0);
  // The last gap that is filled, and the first that is a restart.
  EXPECT_EQ(after_first(10, 0, 11, 160 + g729tool::kLongestGapSamples).silence,
            g729tool::kLongestGapSamples);
  const Gap restart = after_first(10, 0, 11, 161 + g729tool::kLongestGapSamples);
  EXPECT_TRUE(restart.timestamp_restart);
  EXPECT_EQ(restart.silence, 0);
}

TEST(RtpStream, LatePacketsAreSkippedButACounterThatStartsOverIsFollowed) {
  EXPECT_TRUE(after_first(10, 1000, 10, 1000).late);
  EXPECT_TRUE(after_first(10, 1000, 11 - g729tool::kLatestPacket, 1000).late);
  EXPECT_TRUE(after_first(0, 1000, 65535, 840).late);  // across the wrap
  // Farther behind (which is also more than half the counter ahead): the
  // sender started over when the stream goes on from there. Neither such a
  // packet nor any packet after it is taken as late.
  for (std::uint16_t far : {static_cast<std::uint16_t>(10 - g729tool::kLatestPacket),
                            static_cast<std::uint16_t>(40000)}) {
    const Gap restart =
        after_first(10, 1000, far, 1160, false, static_cast<std::uint16_t>(far + 1));
    EXPECT_TRUE(restart.sequence_restart) << far;
    EXPECT_FALSE(restart.late || restart.stray) << far;
    EXPECT_EQ(restart.silence, 0) << far;
    // A lone packet from far away is a stray, whatever follows it.
    for (auto following : {std::optional<std::uint16_t>(12), std::optional<std::uint16_t>()}) {
      const Gap stray = after_first(10, 1000, far, 1160, false, following);
      EXPECT_TRUE(stray.stray) << far;
      EXPECT_FALSE(stray.sequence_restart) << far;
    }
  }
  // Up to half the counter ahead is loss; the timestamps say how much.
  const Gap long_loss = after_first(10, 0, 11 + 20000, 160 + 160 * 20000);
  EXPECT_EQ(long_loss.lost, 20000);
  EXPECT_EQ(long_loss.silence, 160 * 20000);
  EXPECT_TRUE(long_loss.erased);
}

TEST(RtpStream, GapsTogetherFillNoMoreThanTheCap) {
  // Every packet 9 minutes after the last: a capture of a few kilobytes
  // must not ask for hours of silence, as much as memory would hold.
  Timeline t;
  long total = 0;
  bool capped = false;
  constexpr long kJump = 9L * 60 * 8000;
  for (std::uint32_t i = 0; i < 40; ++i) {
    const Gap g = g729tool::timeline_gap(t, static_cast<std::uint16_t>(i), i * (kJump + 80), false,
                                         static_cast<std::uint16_t>(i + 1));
    ASSERT_FALSE(g.late);
    if (i > 0) {
      EXPECT_EQ(g.missing, kJump);
    }
    EXPECT_LE(g.silence, g.missing);
    capped = capped || g.silence_capped;
    total += g.silence;
    g729tool::timeline_advance(t, static_cast<std::uint16_t>(i), i * (kJump + 80), 80);
  }
  EXPECT_TRUE(capped);
  EXPECT_EQ(total, g729tool::kMostSilenceSamples);
  EXPECT_EQ(t.silence, total);
}

}  // namespace
}  // namespace tooltest
