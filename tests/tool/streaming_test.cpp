// Pipes, standard input and output, outputs that are not regular files,
// -t, verbosity and the tool's smaller messages, through the binary.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <numeric>
#include <regex>

#include "itu_serial.h"
#include "tool/capture_writer.h"
#include "tool/tool_harness.h"

namespace tooltest {
namespace {

std::vector<std::int16_t> speech_of(std::size_t samples) {
  auto speech = speech_sample();
  speech.resize(samples);
  return speech;
}

Bytes out_bytes(const ToolRun& run) {
  return Bytes(run.out.begin(), run.out.end());
}

// Ethernet frames of RTP packets of two G.729 frames each, sent in `order`
// (packet numbers counted from 0).
std::vector<Bytes> rtp_frames(const Bytes& frames, const std::vector<std::size_t>& order) {
  std::vector<Bytes> packets;
  for (std::size_t i : order) {
    Rtp rtp;
    rtp.sequence = static_cast<std::uint16_t>(i);
    rtp.timestamp = static_cast<std::uint32_t>(160 * i);
    rtp.payload.assign(frames.begin() + static_cast<std::ptrdiff_t>(20 * i),
                       frames.begin() + static_cast<std::ptrdiff_t>(20 * i + 20));
    packets.push_back(ethernet_ipv4_udp(rtp_packet(rtp)));
  }
  return packets;
}

TEST(ToolPipes, EncodeAndDecodeThroughPipesEqualTheRoundTrip) {
  TempDir dir;
  const auto speech = speech_sample();
  const Bytes wav = wav_bytes(speech, 8000, 1);
  write_bytes(dir.path("x.wav"), wav);
  // cat x.wav | g729a encode - - | g729a decode - - > y.raw
  const ToolRun encoded = run_tool_fed({"encode", "-", "-"}, wav, true);
  ASSERT_EQ(encoded.status, 0) << encoded.err;
  EXPECT_EQ(out_bytes(encoded), encode_here(padded(speech)));
  const ToolRun decoded = run_tool_fed({"decode", "-", "-"}, out_bytes(encoded), true);
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  const ToolRun trip = run_tool({"roundtrip", dir.path("x.wav"), dir.path("y.raw")});
  ASSERT_EQ(trip.status, 0) << trip.err;
  EXPECT_EQ(out_bytes(decoded), read_bytes(dir.path("y.raw")));
  // Standard output carries the data only; notes and summaries are on stderr.
  EXPECT_NE(decoded.err.find("g729a: - -> -: 710 frames"), std::string::npos) << decoded.err;
  // Redirected from a file (seekable standard input) gives the same.
  EXPECT_EQ(run_tool_fed({"encode", "-", "-"}, wav, false).out, encoded.out);
}

TEST(ToolPipes, StandardInputIsSniffedAndTNamesTheTypeOfTheFileAfterIt) {
  TempDir dir;
  const auto speech = speech_of(1600);
  const Bytes frames = encode_here(speech);
  const auto expected = decode_here(per_frame(frames));
  Bytes serial;
  for (std::size_t pos = 0; pos < frames.size(); pos += 10) {
    g729io::append_serial_frame(std::span(frames).subspan(pos, 10), serial);
  }
  std::vector<std::size_t> order(frames.size() / 20);
  std::iota(order.begin(), order.end(), 0);
  const auto packets = rtp_frames(frames, order);
  for (const auto& [what, input] :
       {std::pair{"frames", frames}, std::pair{"serial", serial},
        std::pair{"pcap", pcap_file(packets)}, std::pair{"pcapng", pcapng_file(packets)}}) {
    const ToolRun run = run_tool_fed({"decode", "-", "-"}, input, true);
    ASSERT_EQ(run.status, 0) << what << ": " << run.err;
    EXPECT_EQ(bytes_pcm(out_bytes(run)), expected) << what;
  }
  // Without a WAV or FLAC header a pipe carries raw PCM.
  ToolRun run = run_tool_fed({"encode", "-", "-"}, pcm_bytes(speech), true);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(out_bytes(run), frames);
  write_bytes(dir.path("frames.dat"), frames);
  write_bytes(dir.path("in.pcmdata"), pcm_bytes(speech));
  // -t names the type of the file after it; /dev/stdout and /dev/fd/1 are standard output.
  run = run_tool({"decode", "-t", "g729", dir.path("frames.dat"), "-t", "wav", "/dev/stdout"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(wav_samples(out_bytes(run)), expected);
  run = run_tool({"encode", "-t", "raw", dir.path("in.pcmdata"), "-t", "bit", "/dev/fd/1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(out_bytes(run), serial);
}

TEST(ToolOutputs, DevNullStaysTheDevice) {
  TempDir dir;
  write_bytes(dir.path("call.g729"), encode_here(speech_of(800)));
  // As root a rename over /dev/null would succeed.
  ASSERT_EQ(run_tool({"decode", dir.path("call.g729"), "/dev/null"}).status, 0);
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(ToolVerbosity, CountsPerKindByDefaultEveryEventWithVerboseOnlyErrorsWithQuiet) {
  TempDir dir;
  // Pairs of packets swapped, the last one repeated.
  std::vector<std::size_t> order(20);
  std::iota(order.begin(), order.end(), 0);
  for (std::size_t i = 1; i + 1 < order.size(); i += 4) std::swap(order[i], order[i + 1]);
  order.push_back(order.back());
  const std::string in = dir.path("late.pcap");
  write_bytes(in, pcap_file(rtp_frames(encode_here(speech_of(80 * 40)), order)));
  ToolRun run = run_tool({"decode", in, dir.path("a.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(in + ": 5 late packets used, 1 duplicate dropped (-v lists each packet)"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
  run = run_tool({"decode", "-v", in, dir.path("b.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::regex late(": sequence \\d+ arrived late, used in its place\n");
  EXPECT_EQ(std::distance(std::sregex_iterator(run.err.begin(), run.err.end(), late), {}), 5)
      << run.err;
  EXPECT_EQ(read_bytes(dir.path("a.raw")), read_bytes(dir.path("b.raw")));
  run = run_tool({"decode", "-q", in, dir.path("c.raw")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  run = run_tool({"decode", "-q", dir.path("none.pcap"), dir.path("d.raw")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("g729a: " + dir.path("none.pcap") + ": cannot open", 0), 0u) << run.err;
}

// The version's labelled lines, the console's help, a warning for an
// unknown G729A_SIMD, and refusals with their status and reason: outputs are
// checked before any work, so no summary line comes before a refusal.
TEST(ToolMessages, VersionHelpWarningAndRefusals) {
  TempDir dir;
  ToolRun run = run_tool({"--version"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("g729a tool ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\nmodule: "), std::string::npos) << run.out;
  run = run_tool({"console", "help"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("g729 show version"), std::string::npos) << run.out;
  const std::string in = dir.path("in.raw"), folder = dir.path("folder.g729");
  write_bytes(in, pcm_bytes(speech_of(800)));
  for (const std::string simd : {"bogus", "scalar"}) {
    run = run_tool_fed({"encode", in, dir.path("out.g729")}, {}, false, {"G729A_SIMD=" + simd});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("warning: G729A_SIMD=" + simd +
                           " is not a vector path (scalar, sse2 or avx2)") != std::string::npos,
              simd == "bogus")
        << run.err;
  }
  write_bytes(dir.path("frames.dat"), Bytes(10, 0));
  write_bytes(dir.path("locked.g729"), Bytes{1});
  chmod(dir.path("locked.g729").c_str(), 0444);
  std::filesystem::create_directory(folder);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  for (const Case& c : {
           Case{{"decode", folder, dir.path("x.raw")}, 1, folder + ": is a directory, not a file"},
           Case{{"decode", "-", "-"}, 1, "standard input: empty file, no frames"},
           Case{{"encode", in, dir.path("no/out.g729")}, 1, dir.path("no") + " does not exist"},
           Case{{"encode", in, dir.path("locked.g729")}, 1, "write-protected"},
           Case{{"encode", in, folder}, 1, folder + ": is a directory"},
           Case{{"decode", dir.path("frames.dat"), "-"}, 2, "unknown input format '.dat'"},
           Case{{"encode", in, "-", "-t", "raw"}, 2, "-t raw goes before the file it describes"},
           Case{{"decode", "-t", "mp3", in, "-"}, 2, "-t mp3: not a type of input"},
       }) {
    const ToolRun run = run_tool_fed(c.args, {}, true);
    EXPECT_EQ(run.status, c.status) << c.says << ": " << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(" frames ("), std::string::npos) << run.err;
  }
  EXPECT_EQ(read_bytes(dir.path("locked.g729")), Bytes{1});
}

}  // namespace
}  // namespace tooltest
