// Decoding RTP streams out of captures the tests write themselves.
#include <gtest/gtest.h>

#include "tool/capture_writer.h"
#include "tool/tool_harness.h"

namespace tooltest {
namespace {

using Frames = std::vector<std::uint8_t>;

const Frames& speech_frames() {
  static const Frames frames = [] {
    auto speech = speech_sample();
    speech.resize(40 * 80);
    return encode_here(speech);
  }();
  return frames;
}

Frames frames_at(int first, int count) {
  const auto& all = speech_frames();
  return Frames(all.begin() + 10 * first, all.begin() + 10 * (first + count));
}

// Packets of 10, 20 and 30 ms, one with a trailing SID frame, then a lost
// packet (sequence 5 never arrives), then the stream goes on.
struct Scenario {
  std::vector<Rtp> packets;
  std::vector<Piece> expected;
};

Scenario standard_scenario(std::uint32_t ssrc = 0x11223344) {
  Scenario s;
  const Frames sid{0x5A, 0xC3};
  auto add = [&](std::uint16_t seq, std::uint32_t ts, Frames payload) {
    s.packets.push_back({seq, ts, ssrc, 18, payload});
    s.expected.push_back({payload, 0});
  };
  add(1, 1000, frames_at(0, 1));
  add(2, 1080, frames_at(1, 2));
  add(3, 1240, frames_at(3, 3));
  Frames with_sid = frames_at(6, 2);
  with_sid.insert(with_sid.end(), sid.begin(), sid.end());
  add(4, 1480, with_sid);
  s.expected.push_back({{}, 0, 2});  // sequence 5: 20 ms lost after the SID: noise
  add(6, 1880, frames_at(8, 2));
  add(7, 2040, frames_at(10, 2));
  return s;
}

std::vector<Bytes> ipv4_frames(const std::vector<Rtp>& packets) {
  std::vector<Bytes> frames;
  for (const auto& p : packets) frames.push_back(ethernet_ipv4_udp(rtp_packet(p)));
  return frames;
}

std::vector<Bytes> ipv6_frames(const std::vector<Rtp>& packets) {
  std::vector<Bytes> frames;
  for (const auto& p : packets) frames.push_back(ethernet_ipv6_udp(rtp_packet(p)));
  return frames;
}

TEST(ToolCapture, PcapIpv4StreamWithSidAndALostPacket) {
  TempDir dir;
  const Scenario s = standard_scenario();
  write_bytes(dir.path("call.pcap"), pcap_file(ipv4_frames(s.packets)));
  const ToolRun run = run_tool({"decode", "-v", dir.path("call.pcap"), dir.path("out.wav")});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto expected = decode_here(s.expected);
  ASSERT_EQ(expected.size(), (1u + 2 + 3 + 3 + 2 + 2 + 2) * 80);
  EXPECT_EQ(wav_samples(read_bytes(dir.path("out.wav"))), expected);
  const Counts counts = summary_counts(run.err);
  EXPECT_EQ(counts.speech, 12);
  EXPECT_EQ(counts.sid, 1);
  EXPECT_EQ(counts.erased, 2);
  EXPECT_EQ(counts.silent, 0);
  EXPECT_EQ(counts.concealed, 0);
  EXPECT_EQ(counts.comfort_noise, 2);
  EXPECT_NE(run.err.find("packet 5: 1 packet lost (sequence 5 to 5), 20 ms of comfort noise"),
            std::string::npos)
      << run.err;
}

TEST(ToolCapture, PcapngIpv6GivesTheSameAudio) {
  TempDir dir;
  const Scenario s = standard_scenario();
  write_bytes(dir.path("call.pcapng"), pcapng_file(ipv6_frames(s.packets)));
  const ToolRun run = run_tool({"decode", "-v", dir.path("call.pcapng"), dir.path("out.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))), decode_here(s.expected));
}

// Nothing sent for 30 ms: comfort noise after a SID frame; after speech the
// SID frame was lost, so the pause is concealed; --gaps silence keeps zeros.
TEST(ToolCapture, TimestampGapWithoutLossIsAPauseNotAnErasure) {
  TempDir dir;
  Frames with_sid = frames_at(0, 2);
  with_sid.insert(with_sid.end(), {0x5A, 0xC3});
  struct Case {
    Frames first;
    std::vector<std::string> options;
    Piece gap;
    long concealed, comfort_noise;
    std::string note;
  };
  for (const Case& c :
       {Case{with_sid, {}, {{}, 0, 0, 3}, 0, 3, "30 ms of comfort noise"},
        Case{frames_at(0, 2), {}, {{}, 0, 3}, 3, 0, "30 ms concealed"},
        Case{with_sid, {"--gaps", "silence"}, {{}, 240}, 0, 0, "30 ms of silence inserted"}}) {
    const std::vector<Rtp> packets{{1, 0, 7, 18, c.first},
                                   {2, c.first.size() > 20 ? 240u : 160u, 7, 18, frames_at(2, 2)}};
    const auto shifted = packets[1].timestamp + 240;
    std::vector<Rtp> gapped = packets;
    gapped[1].timestamp = shifted;
    write_bytes(dir.path("dtx.pcap"), pcap_file(ipv4_frames(gapped)));
    std::vector<std::string> args{"decode", "-v", dir.path("dtx.pcap"), dir.path("out.raw")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ToolRun run = run_tool(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))),
              decode_here({{c.first, 0}, c.gap, {frames_at(2, 2), 0}}))
        << c.note;
    const Counts counts = summary_counts(run.err);
    EXPECT_EQ(counts.silent, 3);
    EXPECT_EQ(counts.erased, 0);
    EXPECT_EQ(counts.concealed, c.concealed);
    EXPECT_EQ(counts.comfort_noise, c.comfort_noise);
    EXPECT_NE(run.err.find("timestamps skip 30 ms, " + c.note), std::string::npos) << run.err;
  }
}

TEST(ToolCapture, CountersWrapAroundAndRepeatedPacketsAreSkipped) {
  TempDir dir;
  const std::vector<Rtp> packets{{65535, 0xFFFFFF60u, 7, 18, frames_at(0, 2)},
                                 {0, 0, 7, 18, frames_at(2, 2)},
                                 {0, 0, 7, 18, frames_at(2, 2)},  // repeated
                                 {1, 160, 7, 18, frames_at(4, 2)}};
  write_bytes(dir.path("wrap.pcap"), pcap_file(ipv4_frames(packets)));
  const ToolRun run = run_tool({"decode", "-v", dir.path("wrap.pcap"), dir.path("out.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))),
            decode_here({{frames_at(0, 2), 0}, {frames_at(2, 2), 0}, {frames_at(4, 2), 0}}));
  EXPECT_NE(run.err.find("packet 3: sequence 0 is a duplicate, dropped"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("lost"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("skip "), std::string::npos) << run.err;
}

TEST(ToolCapture, SequenceJumpIsARestartAndTheRestIsDecoded) {
  TempDir dir;
  // The sender starts over with new counters; everything after the jump
  // is decoded, none of it skipped as late.
  const std::vector<Rtp> packets{{1, 0, 7, 18, frames_at(0, 2)},
                                 {2, 160, 7, 18, frames_at(2, 2)},
                                 {40000, 90000, 7, 18, frames_at(4, 2)},
                                 {40001, 90160, 7, 18, frames_at(6, 2)}};
  write_bytes(dir.path("jump.pcap"), pcap_file(ipv4_frames(packets)));
  const ToolRun run = run_tool({"decode", "-v", dir.path("jump.pcap"), dir.path("out.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))), decode_here({{frames_at(0, 2), 0},
                                                                     {frames_at(2, 2), 0},
                                                                     {frames_at(4, 2), 0},
                                                                     {frames_at(6, 2), 0}}));
  EXPECT_NE(run.err.find("packet 3: sequence jumps from 3 to 40000; taken as a restart"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("late"), std::string::npos) << run.err;
  EXPECT_EQ(summary_counts(run.err).speech, 8);

  // One packet from long ago does not move the stream back.
  const std::vector<Rtp> stray{{500, 0, 7, 18, frames_at(0, 2)},
                               {501, 160, 7, 18, frames_at(2, 2)},
                               {300, 4000, 7, 18, frames_at(8, 2)},
                               {502, 320, 7, 18, frames_at(4, 2)}};
  write_bytes(dir.path("stray.pcap"), pcap_file(ipv4_frames(stray)));
  const ToolRun second = run_tool({"decode", "-v", dir.path("stray.pcap"), dir.path("out.raw")});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))),
            decode_here({{frames_at(0, 2), 0}, {frames_at(2, 2), 0}, {frames_at(4, 2), 0}}));
  EXPECT_NE(second.err.find("packet 3: sequence 300 is far behind the stream and the stream does "
                            "not go on from it, skipped"),
            std::string::npos)
      << second.err;
  EXPECT_EQ(second.err.find("lost"), std::string::npos) << second.err;
}

TEST(ToolCapture, PayloadOfInvalidLengthIsReportedAndDecodingGoesOn) {
  TempDir dir;
  Frames bad = frames_at(2, 1);
  bad.insert(bad.end(), {1, 2, 3, 4, 5});
  const std::vector<Rtp> packets{
      {1, 0, 7, 18, frames_at(0, 2)}, {2, 160, 7, 18, bad}, {3, 320, 7, 18, frames_at(4, 2)}};
  write_bytes(dir.path("bad.pcap"), pcap_file(ipv4_frames(packets)));
  const ToolRun run = run_tool({"decode", "-v", dir.path("bad.pcap"), dir.path("out.raw")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(dir.path("bad.pcap") +
                         ": packet 2: payload of 15 bytes refused: Invalid data (5 bytes at the "
                         "end)\n"),
            std::string::npos)
      << run.err;
  // The frame before the bad tail is decoded; the rest of that packet's
  // 20 ms is concealed.
  EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))),
            decode_here({{frames_at(0, 2), 0}, {bad, 0}, {{}, 0, 1}, {frames_at(4, 2), 0}}));
  const Counts counts = summary_counts(run.err);
  EXPECT_EQ(counts.speech, 5);
  EXPECT_EQ(counts.erased, 1);
}

TEST(ToolCapture, BusiestStreamUnlessSsrcOrPayloadTypeChosen) {
  TempDir dir;
  std::vector<Rtp> packets;
  for (std::uint16_t i = 0; i < 3; ++i)
    packets.push_back({i, i * 160u, 0xAAAA, 18, frames_at(i * 2, 2)});
  for (std::uint16_t i = 0; i < 5; ++i)
    packets.push_back({i, i * 80u, 0xBBBB, 18, frames_at(i, 1)});
  for (std::uint16_t i = 0; i < 4; ++i)
    packets.push_back({i, i * 80u, 0xCCCC, 96, frames_at(i, 1)});
  write_bytes(dir.path("three.pcap"), pcap_file(ipv4_frames(packets)));
  struct Case {
    std::vector<std::string> options;
    std::size_t samples;
  };
  for (const Case& c : {Case{{}, 5 * 80}, Case{{"--ssrc", "0xAAAA"}, 6 * 80},
                        Case{{"--ssrc", "48059"}, 5 * 80}, Case{{"--pt", "96"}, 4 * 80}}) {
    std::vector<std::string> args{"decode", dir.path("three.pcap"), dir.path("out.raw")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ToolRun run = run_tool(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_bytes(dir.path("out.raw")).size(), 2 * c.samples);
  }
  const ToolRun missing =
      run_tool({"decode", "-v", dir.path("three.pcap"), dir.path("out2.raw"), "--ssrc", "5"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no G.729 stream with SSRC 0x00000005"), std::string::npos)
      << missing.err;
  EXPECT_FALSE(exists(dir.path("out2.raw")));
}

TEST(ToolCapture, PcapngWithSeveralInterfacesAndStreams) {
  TempDir dir;
  // Stream A (3 packets) on interface 0, stream B (4 packets) on interface
  // 1, interleaved, with an ARP frame between them.
  std::vector<Piece> a, b;
  auto frames_for = [&](bool second_raw) {
    std::vector<CapturedFrame> frames;
    a.clear();
    b.clear();
    for (std::uint16_t i = 0; i < 4; ++i) {
      const Frames two = frames_at(2 * i, 2);
      if (i < 3) {
        frames.push_back({0, ethernet_ipv4_udp(rtp_packet({i, i * 160u, 0xA, 18, two}))});
        a.push_back({two, 0});
      }
      const Bytes eth = ethernet_ipv4_udp(rtp_packet({i, i * 160u, 0xB, 18, two}));
      frames.push_back({1, second_raw ? ip_of_ethernet(eth) : eth});
      b.push_back({two, 0});
    }
    Bytes arp = ethernet_ipv4_udp({});
    arp[12] = 0x08;
    arp[13] = 0x06;
    frames.insert(frames.begin() + 2, {0, arp});
    return frames;
  };
  struct Case {
    std::string name;
    std::vector<int> links;
  };
  // libpcap reads the first; the second, whose interfaces differ in link
  // type, it refuses, and the tool reads it itself.
  for (const Case& c : {Case{"same.pcapng", {1, 1}}, Case{"mixed.pcapng", {1, 101}}}) {
    write_bytes(dir.path(c.name), pcapng_interfaces(c.links, frames_for(c.links[1] == 101)));
    ToolRun run = run_tool({"decode", "-v", dir.path(c.name), dir.path("out.raw")});
    ASSERT_EQ(run.status, 0) << c.name << ": " << run.err;
    EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))), decode_here(b)) << c.name;
    EXPECT_NE(run.err.find("2 G.729 streams; decoding SSRC 0x0000000B (4 packets)"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(
        run.err.find("interfaces of 2 link types (1 (EN10MB), 101 (RAW))") != std::string::npos,
        c.links[1] == 101)
        << run.err;
    run = run_tool({"decode", "-v", dir.path(c.name), dir.path("out.raw"), "--ssrc", "0xA"});
    ASSERT_EQ(run.status, 0) << c.name << ": " << run.err;
    EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))), decode_here(a)) << c.name;
  }
  // A packet naming an interface that was never described is damage.
  auto stray = frames_for(true);
  stray.push_back({2, stray.front().bytes});
  write_bytes(dir.path("stray.pcapng"), pcapng_interfaces({1, 101}, stray));
  const ToolRun run = run_tool({"decode", "-v", dir.path("stray.pcapng"), dir.path("stray.raw")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("stray.pcapng: damaged capture after packet 8: pcapng block 12"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(exists(dir.path("stray.raw")));
}

TEST(ToolCapture, CapturesWithoutG729OrDamagedFail) {
  TempDir dir;
  std::vector<Rtp> pcmu{{1, 0, 9, 0, Bytes(160, 0xFF)}, {2, 160, 9, 0, Bytes(160, 0xFF)}};
  write_bytes(dir.path("pcmu.pcap"), pcap_file(ipv4_frames(pcmu)));
  write_bytes(dir.path("text.pcap"), Bytes(100, 'x'));
  struct Case {
    std::string input, reason;
  };
  for (const Case& c : {Case{"pcmu.pcap",
                             "no RTP packets with payload type 18 (G.729) in 2 RTP packets; RTP "
                             "payload types seen: 0"},
                        Case{"text.pcap", "not a readable capture"}}) {
    const ToolRun run = run_tool({"decode", "-v", dir.path(c.input), dir.path("out.wav")});
    EXPECT_EQ(run.status, 1) << c.input;
    EXPECT_NE(run.err.find("g729a: " + dir.path(c.input) + ": " + c.reason), std::string::npos)
        << run.err;
    EXPECT_FALSE(exists(dir.path("out.wav")));
  }
}

}  // namespace
}  // namespace tooltest
