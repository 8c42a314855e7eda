// Pipes, standard input and output, outputs that are not regular files,
// -t, verbosity and the tool's smaller messages, through the binary.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

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

TEST(ToolPipes, EncodeAndDecodeThroughPipesEqualTheRoundTrip) {
  TempDir dir;
  const auto speech = speech_sample();
  const Bytes wav = wav_bytes(speech, 8000, 1);
  write_bytes(dir.path("x.wav"), wav);
  // cat x.wav | g729a encode - - | g729a decode - - > y.raw
  const ToolRun encoded = run_tool_fed({"encode", "-", "-"}, wav, true);
  ASSERT_EQ(encoded.status, 0) << encoded.err;
  const Bytes frames(encoded.out.begin(), encoded.out.end());
  EXPECT_EQ(frames, encode_here(padded(speech)));
  const ToolRun decoded = run_tool_fed({"decode", "-", "-"}, frames, true);
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  const ToolRun trip = run_tool({"roundtrip", dir.path("x.wav"), dir.path("y.raw")});
  ASSERT_EQ(trip.status, 0) << trip.err;
  EXPECT_EQ(decoded.out.size(), 2 * padded(speech).size());
  EXPECT_EQ(Bytes(decoded.out.begin(), decoded.out.end()), read_bytes(dir.path("y.raw")));
  // Standard output carries the data only; notes and summaries are on stderr.
  EXPECT_NE(decoded.err.find("g729a: - -> -: 710 frames"), std::string::npos) << decoded.err;
  // Redirected from a file (seekable standard input) gives the same.
  const ToolRun from_file = run_tool_fed({"encode", "-", "-"}, wav, false);
  EXPECT_EQ(from_file.out, encoded.out);
}

TEST(ToolPipes, FormatsOfStandardInputAreFoundFromTheContent) {
  TempDir dir;
  const auto speech = speech_of(1600);
  const Bytes frames = encode_here(speech);
  const auto expected = decode_here(per_frame(frames));
  Bytes serial;
  for (std::size_t pos = 0; pos < frames.size(); pos += 10) {
    g729io::append_serial_frame(std::span(frames).subspan(pos, 10), serial);
  }
  std::vector<Bytes> packets;
  for (std::size_t i = 0; i < frames.size() / 20; ++i) {
    Rtp rtp;
    rtp.sequence = static_cast<std::uint16_t>(i);
    rtp.timestamp = static_cast<std::uint32_t>(160 * i);
    rtp.payload.assign(frames.begin() + static_cast<std::ptrdiff_t>(20 * i),
                       frames.begin() + static_cast<std::ptrdiff_t>(20 * i + 20));
    packets.push_back(ethernet_ipv4_udp(rtp_packet(rtp)));
  }
  for (const auto& [what, input] :
       {std::pair{"frames", frames}, std::pair{"serial", serial},
        std::pair{"pcap", pcap_file(packets)}, std::pair{"pcapng", pcapng_file(packets)}}) {
    const ToolRun run = run_tool_fed({"decode", "-", "-"}, input, true);
    ASSERT_EQ(run.status, 0) << what << ": " << run.err;
    EXPECT_EQ(bytes_pcm(Bytes(run.out.begin(), run.out.end())), expected) << what;
  }
  // Encoding: WAV and FLAC headers are read from a pipe; else raw PCM.
  const ToolRun raw = run_tool_fed({"encode", "-", "-"}, pcm_bytes(speech), true);
  ASSERT_EQ(raw.status, 0) << raw.err;
  EXPECT_EQ(Bytes(raw.out.begin(), raw.out.end()), frames);
}

TEST(ToolPipes, StandardOutputFormatsAndTypeOptions) {
  TempDir dir;
  const auto speech = speech_of(800);
  const Bytes frames = encode_here(speech);
  write_bytes(dir.path("in.raw"), pcm_bytes(speech));
  write_bytes(dir.path("frames.dat"), frames);
  // Without -t an unknown name is refused; -t before it names the format.
  EXPECT_EQ(run_tool({"decode", dir.path("frames.dat"), dir.path("a.raw")}).status, 2);
  ToolRun run = run_tool({"decode", "-t", "g729", dir.path("frames.dat"), "-t", "wav", "-"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(wav_samples(Bytes(run.out.begin(), run.out.end())), decode_here(per_frame(frames)));
  run = run_tool({"encode", dir.path("in.raw"), "-t", "bit", "-"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.size(), frames.size() / 10 * 164);
  EXPECT_EQ(static_cast<unsigned char>(run.out[0]), 0x21);
  // -t raw reads any name as headerless PCM.
  write_bytes(dir.path("in.pcmdata"), pcm_bytes(speech));
  run = run_tool({"encode", "-t", "raw", dir.path("in.pcmdata"), "-"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), frames);
  // A -t that describes no file, or an unknown type, is a usage error.
  run = run_tool({"encode", dir.path("in.raw"), "-", "-t", "raw"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("-t raw goes before the file it describes"), std::string::npos);
  run = run_tool({"decode", "-t", "mp3", dir.path("frames.dat"), "-"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("-t mp3: not a type of input"), std::string::npos) << run.err;
}

TEST(ToolOutputs, DevicesStandardOutputAndFifosAreWrittenInPlace) {
  TempDir dir;
  const Bytes frames = encode_here(speech_of(1600));
  write_bytes(dir.path("call.g729"), frames);
  // /dev/null stays the device (as root the output was renamed over it).
  ToolRun run = run_tool({"decode", dir.path("call.g729"), "/dev/null"});
  ASSERT_EQ(run.status, 0) << run.err;
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  // /dev/stdout and /dev/fd/1 are standard output, however it is opened.
  for (const char* name : {"/dev/stdout", "/dev/fd/1"}) {
    run = run_tool({"decode", dir.path("call.g729"), "-t", "raw", name});
    ASSERT_EQ(run.status, 0) << name << ": " << run.err;
    EXPECT_EQ(bytes_pcm(Bytes(run.out.begin(), run.out.end())), decode_here(per_frame(frames)))
        << name;
  }
  // A FIFO is written, not replaced.
  const std::string fifo = dir.path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  std::string received;
  std::thread reader([&] {
    std::ifstream in(fifo, std::ios::binary);
    received.assign(std::istreambuf_iterator<char>(in), {});
  });
  write_bytes(dir.path("in.raw"), pcm_bytes(speech_of(1600)));
  run = run_tool({"encode", dir.path("in.raw"), "-t", "g729", fifo});
  reader.join();
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Bytes(received.begin(), received.end()), frames);
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"call.g729", "fifo", "in.raw"}));
}

TEST(ToolOutputs, DestinationsAreCheckedBeforeAnyWork) {
  TempDir dir;
  write_bytes(dir.path("in.raw"), pcm_bytes(speech_of(800)));
  ToolRun run = run_tool({"encode", dir.path("in.raw"), dir.path("missing/out.g729")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the folder " + dir.path("missing") + " does not exist"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find(" frames ("), std::string::npos) << "no work before the check";
  write_bytes(dir.path("locked.g729"), Bytes{1});
  chmod(dir.path("locked.g729").c_str(), 0444);
  run = run_tool({"encode", dir.path("in.raw"), dir.path("locked.g729")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("write-protected"), std::string::npos) << run.err;
  EXPECT_EQ(read_bytes(dir.path("locked.g729")), Bytes{1});
  // Standard output named twice is refused as a usage error.
  run = run_tool({"roundtrip", dir.path("in.raw"), "-", "--bitstream", "-"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("-: named twice as an output"), std::string::npos) << run.err;
}

// A capture whose packets arrive with pairs swapped and one repeated.
Bytes shuffled_capture(const Bytes& frames) {
  std::vector<Bytes> packets;
  const std::size_t count = frames.size() / 20;
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < count; ++i) order.push_back(i);
  for (std::size_t i = 1; i + 1 < count; i += 4) std::swap(order[i], order[i + 1]);
  order.push_back(order.back());
  for (std::size_t i : order) {
    Rtp rtp;
    rtp.sequence = static_cast<std::uint16_t>(i);
    rtp.timestamp = static_cast<std::uint32_t>(160 * i);
    rtp.payload.assign(frames.begin() + static_cast<std::ptrdiff_t>(20 * i),
                       frames.begin() + static_cast<std::ptrdiff_t>(20 * i + 20));
    packets.push_back(ethernet_ipv4_udp(rtp_packet(rtp)));
  }
  return pcap_file(packets);
}

TEST(ToolVerbosity, CountsPerKindByDefaultEveryEventWithVerboseNothingWithQuiet) {
  TempDir dir;
  const Bytes frames = encode_here(speech_of(80 * 40));
  write_bytes(dir.path("late.pcap"), shuffled_capture(frames));
  const std::string in = dir.path("late.pcap");
  ToolRun run = run_tool({"decode", in, dir.path("a.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(in + ": 5 late packets used, 1 duplicate dropped (-v lists each packet)"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("arrived late"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
  EXPECT_EQ(summary_counts(run.err).late, 5);
  run = run_tool({"decode", "-v", in, dir.path("b.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  std::size_t lines = 0;
  for (auto at = run.err.find("arrived late"); at != std::string::npos;
       at = run.err.find("arrived late", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 5u) << run.err;
  EXPECT_EQ(read_bytes(dir.path("a.raw")), read_bytes(dir.path("b.raw")));
  run = run_tool({"decode", "-q", in, dir.path("c.raw")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
}

TEST(ToolMessages, VersionConsoleHelpSimdDirectoriesAndEmptyInputs) {
  TempDir dir;
  ToolRun run = run_tool({"--version"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("g729a tool ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\nmodule: "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Version"), std::string::npos) << run.out;

  run = run_tool({"console", "help"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("g729 show version"), std::string::npos) << run.out;

  write_bytes(dir.path("in.raw"), pcm_bytes(speech_of(800)));
  run = run_tool_fed({"encode", dir.path("in.raw"), dir.path("out.g729")}, {}, false,
                     {"G729A_SIMD=bogus"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("warning: G729A_SIMD=bogus is not a vector path (scalar, sse2 or avx2)"),
            std::string::npos)
      << run.err;
  run = run_tool_fed({"encode", dir.path("in.raw"), dir.path("out.g729")}, {}, false,
                     {"G729A_SIMD=scalar"});
  EXPECT_EQ(run.err.find("G729A_SIMD"), std::string::npos) << run.err;

  std::filesystem::create_directory(dir.path("folder.g729"));
  for (const auto& [command, out] : {std::pair{"decode", "x.raw"}, std::pair{"encode", "x.g729"}}) {
    run = run_tool({command, dir.path("folder.g729"), dir.path(out)});
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_NE(run.err.find(dir.path("folder.g729") + ": is a directory, not a file"),
              std::string::npos)
        << run.err;
  }
  // An empty pipe is as empty as an empty file.
  run = run_tool_fed({"decode", "-", "-"}, {}, true);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("standard input: empty file, no frames"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tooltest
