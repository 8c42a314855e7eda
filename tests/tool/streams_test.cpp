// Captures read as a whole: packet order over the file, the figures of
// `g729a streams`, SIP/SDP payload types, --all and --call.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "rtp_stream.h"
#include "tool/capture_writer.h"
#include "tool/tool_harness.h"

namespace tooltest {
namespace {

using Frames = std::vector<std::uint8_t>;

Frames frames_at(int first, int count) {
  static const Frames all = [] {
    auto speech = speech_sample();
    speech.resize(80 * 80);
    return encode_here(speech);
  }();
  return Frames(all.begin() + 10 * first, all.begin() + 10 * (first + count));
}

std::vector<std::size_t> order_of(const std::vector<std::uint16_t>& sequences) {
  return g729tool::order_packets(sequences).order;
}

TEST(PacketOrder, LatePacketsTakeTheirPlaceAndRepeatsAreDropped) {
  using V = std::vector<std::size_t>;
  EXPECT_EQ(order_of({1, 3, 2, 4}), (V{0, 2, 1, 3}));
  const auto o = g729tool::order_packets(std::vector<std::uint16_t>{1, 3, 2, 3, 5});
  EXPECT_EQ(o.order, (V{0, 2, 1, 4}));
  EXPECT_EQ(o.late, (V{2}));
  EXPECT_EQ(o.duplicates, (V{3}));
  EXPECT_EQ(o.expected, 5);  // 1..5, sequence 4 lost
  // Across the wrap of the 16-bit counter, late on both sides of it.
  EXPECT_EQ(order_of({65534, 0, 65535, 1}), (V{0, 2, 1, 3}));
  EXPECT_EQ(g729tool::order_packets(std::vector<std::uint16_t>{65534, 0, 65535, 1}).expected, 4);
  // The first packet may itself be late.
  EXPECT_EQ(order_of({11, 10, 12}), (V{1, 0, 2}));
}

TEST(PacketOrder, FarBehindIsARestartWhenContinuedElseAStray) {
  using V = std::vector<std::size_t>;
  const auto restart = g729tool::order_packets(std::vector<std::uint16_t>{500, 501, 7, 8, 9});
  EXPECT_EQ(restart.order, (V{0, 1, 2, 3, 4}));
  EXPECT_EQ(restart.run_starts, (V{0, 2}));
  EXPECT_EQ(restart.expected, 5);
  const auto stray = g729tool::order_packets(std::vector<std::uint16_t>{500, 501, 7, 502});
  EXPECT_EQ(stray.order, (V{0, 1, 3}));
  EXPECT_EQ(stray.strays, (V{2}));
}

TEST(StreamFigures, JitterFollowsTheInterarrivalEstimate) {
  // 20 ms packets; the third arrives 10 ms late (80 samples of transit).
  std::vector<g729tool::StreamPacket> packets;
  for (int i = 0; i < 5; ++i) {
    packets.push_back({100.0 + 0.02 * i + (i == 2 ? 0.01 : 0.0), static_cast<std::uint16_t>(i),
                       static_cast<std::uint32_t>(160 * i), false, 2});
  }
  const auto f = g729tool::stream_figures(packets, 8000);
  // J = 80/16 = 5 samples, then 5 + (80 - 5)/16 = 9.6875, then decaying.
  const double j2 = 5.0, j3 = 5.0 + (80.0 - 5.0) / 16, j4 = j3 - j3 / 16;
  EXPECT_NEAR(f.max_jitter_ms, j3 / 8, 1e-9);
  EXPECT_NEAR(f.mean_jitter_ms, (0 + j2 + j3 + j4) / 4 / 8, 1e-9);
  EXPECT_EQ(f.packets, 5);
  EXPECT_EQ(f.lost, 0);
  EXPECT_NEAR(f.duration, 0.08, 1e-9);
}

TEST(Sdp, RtpmapAndFmtpGiveG729PayloadTypes) {
  const Bytes sip = sip_with_sdp(97, "no");
  const auto found = g729tool::g729_in_sdp(sip);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].payload_type, 97);
  EXPECT_EQ(found[0].annexb, "no");
  EXPECT_TRUE(g729tool::g729_in_sdp(rtp_packet({1, 0, 7, 97, frames_at(0, 2)})).empty());
  const std::string g729d = "a=rtpmap:98 G729D/8000\r\n";
  EXPECT_TRUE(g729tool::g729_in_sdp(Bytes(g729d.begin(), g729d.end())).empty());
}

// A call: A -> B on payload type 97 (given by SIP/SDP), with a late packet,
// a duplicate, a lost packet and a DTX pause after a SID; B -> A on 18,
// starting 50 ms later.
struct Call {
  std::vector<TimedFrame> frames;
  std::vector<Piece> a_expected, b_expected;
};

Call make_call() {
  Call c;
  Udp4 a_to_b, b_to_a;
  b_to_a.source[3] = 2;
  b_to_a.destination[3] = 1;
  b_to_a.source_port = 4000;
  b_to_a.destination_port = 5004;
  const double t0 = 1700000000.0;
  c.frames.push_back({t0, ethernet_ipv4_udp(sip_with_sdp(97, "yes"), a_to_b)});
  Frames sid_packet = frames_at(8, 2);
  sid_packet.insert(sid_packet.end(), {0x5A, 0xC3});
  std::vector<Rtp> a;
  for (std::uint16_t i = 0; i < 4; ++i) a.push_back({i, 160u * i, 0xA1, 97, frames_at(2 * i, 2)});
  a.push_back({4, 640, 0xA1, 97, sid_packet});                    // 30 ms ending in a SID frame
  a.push_back({5, 640 + 240 + 400, 0xA1, 97, frames_at(10, 2)});  // after a 50 ms pause
  a.push_back({7, 640 + 240 + 400 + 320, 0xA1, 97, frames_at(14, 2)});  // 6 lost
  // Capture order: 0 1 3 2 (late) 2 (repeat) 4 5 7.
  const std::vector<int> arrival{0, 1, 3, 2, 2, 4, 5, 6};
  for (std::size_t k = 0; k < arrival.size(); ++k) {
    c.frames.push_back({t0 + 0.001 + 0.02 * static_cast<double>(k),
                        ethernet_ipv4_udp(rtp_packet(a[arrival[k]]), a_to_b)});
  }
  c.a_expected = {{frames_at(0, 2), 0},  {frames_at(2, 2), 0}, {frames_at(4, 2), 0},
                  {frames_at(6, 2), 0},  {sid_packet, 0},      {{}, 0, 0, 5},
                  {frames_at(10, 2), 0}, {{}, 0, 2},           {frames_at(14, 2), 0}};
  for (std::uint16_t i = 0; i < 6; ++i) {
    const Rtp b{static_cast<std::uint16_t>(100 + i), 9000u + 160u * i, 0xB2, 18,
                frames_at(20 + 2 * i, 2)};
    c.frames.push_back({t0 + 0.051 + 0.02 * i, ethernet_ipv4_udp(rtp_packet(b), b_to_a)});
    c.b_expected.push_back({b.payload, 0});
  }
  return c;
}

TEST(ToolStreams, OneLinePerStreamWithItsFigures) {
  TempDir dir;
  write_bytes(dir.path("call.pcap"), pcap_file_timed(make_call().frames));
  const ToolRun run = run_tool({"streams", dir.path("call.pcap")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string f = dir.path("call.pcap");
  EXPECT_NE(run.out.find(f + ": SSRC 0x000000A1 10.0.0.1:5004 -> 10.0.0.2:4000 PT 97 G.729 "
                             "annexb=yes, start 2023-11-14T22:13:20.001Z, 0.140 s, 8 packets, 8 "
                             "expected, 1 lost (12.5%), 1 duplicates, 1 reordered, jitter mean "),
            std::string::npos)
      << run.out;
  // Arrivals 20 ms apart against timestamps that jump at the reordering and
  // the pause: |D| = 0, 160, 320, 160, 160, 480, 160 samples, J += (|D| - J) / 16.
  double j = 0, sum = 0;
  for (const double d : {0.0, 160.0, 320.0, 160.0, 160.0, 480.0, 160.0}) sum += (j += (d - j) / 16);
  char jitter[64];
  std::snprintf(jitter, sizeof jitter, "jitter mean %.2f ms max %.2f ms, 1 SID, 1 DTX gaps\n",
                sum / 7 / 8, j / 8);
  EXPECT_NE(run.out.find(jitter), std::string::npos) << jitter << run.out;
  EXPECT_NE(run.out.find(f + ": SSRC 0x000000B2 10.0.0.2:4000 -> 10.0.0.1:5004 PT 18 G.729, "
                             "start 2023-11-14T22:13:20.051Z, 0.100 s, 6 packets, 6 expected, 0 "
                             "lost (0.0%), 0 duplicates, 0 reordered, jitter mean 0.00 ms max "
                             "0.00 ms, 0 SID, 0 DTX gaps"),
            std::string::npos)
      << run.out;

  const ToolRun json = run_tool({"streams", "--json", dir.path("call.pcap")});
  ASSERT_EQ(json.status, 0) << json.err;
  const auto parsed = nlohmann::json::parse(json.out);
  const auto first =
      std::find_if(parsed.begin(), parsed.end(), [](const auto& s) { return s["ssrc"] == 161; });
  ASSERT_NE(first, parsed.end()) << json.out;
  const nlohmann::json want = {{"source", "10.0.0.1:5004"},
                               {"destination", "10.0.0.2:4000"},
                               {"codec", "G.729 annexb=yes"},
                               {"g729", true},
                               {"payload_type", 97},
                               {"lost", 1},
                               {"lost_percent", 12.5},
                               {"duplicates", 1},
                               {"reordered", 1}};
  for (const auto& [key, value] : want.items()) EXPECT_EQ(first->at(key), value) << key;
  // Streams needs no module: a missing one does not matter.
  EXPECT_EQ(run_tool({"streams", "--module", dir.path("none.so"), dir.path("call.pcap")}).status,
            0);
  EXPECT_EQ(run_tool({"streams", dir.path("none.pcap")}).status, 1);
}

TEST(ToolStreams, JsonHoldsAnyFileNameAndStaysValid) {
  TempDir dir;
  // Control characters, quotes, a backslash and bytes that are not UTF-8.
  const std::string name = dir.path("a\tb\nc\"d\\e\x01\xff.pcap");
  write_bytes(name, pcap_file_timed(make_call().frames));
  const ToolRun json = run_tool({"streams", "--json", name});
  ASSERT_EQ(json.status, 0) << json.err;
  const auto parsed = nlohmann::json::parse(json.out, nullptr, false);
  ASSERT_FALSE(parsed.is_discarded() || parsed.empty()) << json.out;
  EXPECT_EQ(parsed[0]["file"], dir.path("a\tb\nc\"d\\e\x01\xef\xbf\xbd.pcap"));
}

TEST(ToolStreams, ACaptureDecodesInSequenceOrderWithItsSdpPayloadType) {
  TempDir dir;
  const Call call = make_call();
  write_bytes(dir.path("call.pcap"), pcap_file_timed(call.frames));
  // The busiest stream is B -> A; --ssrc picks A -> B, whose type only SDP names.
  ToolRun run =
      run_tool({"decode", "-v", dir.path("call.pcap"), dir.path("a.raw"), "--ssrc", "0xA1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(bytes_pcm(read_bytes(dir.path("a.raw"))), decode_here(call.a_expected));
  const Counts counts = summary_counts(run.err);
  EXPECT_EQ(counts.late, 1);
  EXPECT_EQ(counts.duplicates, 1);
  EXPECT_EQ(counts.erased, 2);
  EXPECT_EQ(counts.silent, 5);
  EXPECT_EQ(counts.concealed, 2);
  EXPECT_EQ(counts.comfort_noise, 5);
  EXPECT_NE(run.err.find("packet 5: sequence 2 arrived late, used in its place"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("packet 6: sequence 2 is a duplicate, dropped"), std::string::npos)
      << run.err;
  // Naming another type makes the SDP one an ordinary stream.
  run = run_tool({"decode", dir.path("call.pcap"), dir.path("b.raw"), "--pt", "96"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("RTP payload types seen: 18 97"), std::string::npos) << run.err;
}

// The left and right channels of a 16-bit stereo WAV (none for another).
std::array<std::vector<std::int16_t>, 2> channels_of(const Bytes& wav) {
  std::array<std::vector<std::int16_t>, 2> channels;
  if (wav.size() < 44 || wav[22] != 2) return channels;
  const auto pcm = bytes_pcm(std::span(wav).subspan(44));
  for (std::size_t i = 0; i < pcm.size(); ++i) channels[i % 2].push_back(pcm[i]);
  return channels;
}

TEST(ToolStreams, AllWritesEveryStreamAndCallBothDirectionsInStereo) {
  TempDir dir;
  const Call call = make_call();
  write_bytes(dir.path("call.pcap"), pcap_file_timed(call.frames));
  ToolRun run = run_tool({"decode", "--all", "-o", dir.path("out"), dir.path("call.pcap")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(wav_samples(read_bytes(dir.path("out/call-0x000000A1.wav"))),
            decode_here(call.a_expected));
  EXPECT_EQ(wav_samples(read_bytes(dir.path("out/call-0x000000B2.wav"))),
            decode_here(call.b_expected));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path("out")), {}), 2);
  // The summary names the files written, not the name they are built from.
  EXPECT_NE(run.err.find(dir.path("call.pcap") + " -> " + dir.path("out/call-0x000000A1.wav") +
                         ", " + dir.path("out/call-0x000000B2.wav") + ": "),
            std::string::npos)
      << run.err;

  run = run_tool({"decode", "--call", dir.path("call.pcap"), dir.path("call.wav")});
  ASSERT_EQ(run.status, 0) << run.err;
  auto a = decode_here(call.a_expected);
  auto b = decode_here(call.b_expected);
  b.insert(b.begin(), 400, 0);  // B starts 50 ms after A
  // The call lasts as long as its longer channel, not the sum of both.
  const std::size_t length = std::max(a.size(), b.size());
  a.resize(length);
  b.resize(length);
  const auto [left, right] = channels_of(read_bytes(dir.path("call.wav")));
  EXPECT_EQ(left, a);
  EXPECT_EQ(right, b);
  char duration[40];
  std::snprintf(duration, sizeof duration, ", %.2f s of audio", static_cast<double>(length) / 8000);
  EXPECT_NE(run.err.find(duration), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("left 10.0.0.1:5004 -> 10.0.0.2:4000 (SSRC 0x000000A1)"),
            std::string::npos)
      << run.err;
  // A one-way call (SDP sendonly) keeps its one direction, the other silent.
  std::vector<TimedFrame> one(call.frames.begin(), call.frames.begin() + 9);
  write_bytes(dir.path("one.pcap"), pcap_file_timed(one));
  run = run_tool({"decode", "--call", dir.path("one.pcap"), dir.path("one.wav")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("one-way call: left 10.0.0.1:5004 -> 10.0.0.2:4000 (SSRC 0x000000A1); "
                         "no G.729 stream from 10.0.0.2:4000 to 10.0.0.1:5004, so the right "
                         "channel is silent"),
            std::string::npos)
      << run.err;
  const auto [one_left, one_right] = channels_of(read_bytes(dir.path("one.wav")));
  EXPECT_NE(one_left, std::vector<std::int16_t>(one_left.size()));
  EXPECT_EQ(one_right, std::vector<std::int16_t>(one_left.size()));
}

}  // namespace
}  // namespace tooltest
