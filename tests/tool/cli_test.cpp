// Command line, console, default run, batch mode and safe outputs.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <thread>

#include "itu_serial.h"
#include "tool/tool_harness.h"

namespace tooltest {
namespace {

TEST(ToolCli, HelpOnEverySubcommand) {
  for (const std::string command :
       {"", "encode", "decode", "roundtrip", "conformance", "streams", "console", "bench"}) {
    std::vector<std::string> args;
    if (!command.empty()) args.push_back(command);
    args.push_back("--help");
    const ToolRun run = run_tool(args);
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_NE(run.out.find("--quiet"), std::string::npos) << command << run.out;
    EXPECT_NE(run.out.find("--module"), std::string::npos) << command;
  }
  EXPECT_NE(run_tool({"conformance", "--help"}).out.find("SPEECH 33"), std::string::npos);
}

TEST(ToolCli, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases{
      {"encode"},
      {"frobnicate"},
      {"encode", "a.raw", "b.g729", "c.g729"},
      {"decode", "a.g729", "b.wav", "--pt", "200"},
      {"decode", "a.g729", "b.wav", "--ssrc", "zz"},
      {"decode", "-j", "0", "-o", "/tmp", "a.g729"},
      {"decode", "--to", "mp3", "-o", "/tmp", "a.g729"},
      {"decode", "a.g729", "b.bit"},
      {"decode", "--all", "--call", "a.pcap", "b.wav"},
      {"decode", "--gaps", "noise", "a.g729", "b.wav"},
      {"streams"},
      {"roundtrip", "a.raw"},
      {"console"},
      {"console", "no", "such", "thing"},
  };
  for (const auto& args : cases) {
    const ToolRun run = run_tool(args);
    EXPECT_EQ(run.status, 2) << args[0] << " " << args.size() << ": " << run.err;
    EXPECT_FALSE(run.err.empty());
  }
}

TEST(ToolCli, ConsoleRunsTheModulesCommand) {
  ToolRun run = run_tool({"console", "g729", "show", "version"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Orvanta G.729A Module Version 1.4_3.1.4 (optimized for barcelona_32)\n");
  // Wrong argument count: the command's usage text, as an operator sees it.
  run = run_tool({"console", "g729", "show", "version", "now"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("Usage: show g729 version"), std::string::npos) << run.err;
}

// The figures themselves depend on the machine; only their form is checked.
TEST(ToolCli, BenchPrintsFrameCostsAndChannelsOnEveryPath) {
  const std::regex figures(
      "encode: [0-9]+\\.[0-9]{2} us per 10 ms frame\n"
      "decode: [0-9]+\\.[0-9]{2} us per 10 ms frame\n"
      "full-duplex channels per core: [1-9][0-9]*\n");
  for (const char* path : {"scalar", "sse2", "avx2"}) {
    setenv("G729A_SIMD", path, 1);
    const ToolRun run = run_tool({"bench"});
    EXPECT_EQ(run.status, 0) << path << ": " << run.err;
    EXPECT_TRUE(std::regex_match(run.out, figures)) << path << ": " << run.out;
  }
  unsetenv("G729A_SIMD");
  EXPECT_EQ(run_tool({"bench", "--quiet"}).out, "");
}

TEST(ToolCli, UnloadableModuleIsReported) {
  TempDir dir;
  write_bytes(dir.path("fake.so"), Bytes{'n', 'o', 't'});
  const ToolRun run =
      run_tool({"console", "--module", dir.path("fake.so"), "g729", "show", "version"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(dir.path("fake.so") + ": cannot load the codec module"), std::string::npos)
      << run.err;
}

TEST(ToolCli, BareRunPrintsUsageAndTheDemoWritesIntoItsFolder) {
  TempDir dir;
  ToolRun run = run_tool({}, dir.dir());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(dir.entries().empty());
  EXPECT_NE(run.out.find("g729a encode IN OUT"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("To hear the codec: g729a demo [DIR]"), std::string::npos) << run.out;

  run = run_tool({"demo"}, dir.dir());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"g729a-demo"}));
  const auto frames = read_bytes(dir.path("g729a-demo/decoded.g729"));
  EXPECT_EQ(frames, encode_here(padded(speech_sample())));
  EXPECT_EQ(wav_samples(read_bytes(dir.path("g729a-demo/decoded.wav"))),
            decode_here(per_frame(frames)));
  EXPECT_EQ(wav_samples(read_bytes(dir.path("g729a-demo/original.wav"))), speech_sample());
  EXPECT_NE(run.out.find("wrote g729a-demo/original.wav"), std::string::npos) << run.out;
  // A folder of the user's choice, relative or not; a file in the way is refused first.
  EXPECT_EQ(run_tool({"demo", dir.path("mine")}).status, 0);
  EXPECT_TRUE(exists(dir.path("mine/decoded.wav")));
  write_bytes(dir.path("plain"), Bytes{1});
  const ToolRun refused = run_tool({"demo", dir.path("plain")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("exists and is not a folder"), std::string::npos) << refused.err;
  EXPECT_EQ(summary_counts(run.out).speech, 710);
  // The speech-band figures come first, then the raw ones with their reason.
  const auto band = run.out.find("speech band");
  const auto raw = run.out.find("against the raw input");
  ASSERT_NE(band, std::string::npos) << run.out;
  ASSERT_NE(raw, std::string::npos) << run.out;
  EXPECT_LT(band, raw);
  EXPECT_NE(run.out.find("DC offset", raw), std::string::npos) << run.out;
}

TEST(ToolCli, QuietLeavesOnlyErrors) {
  TempDir dir;
  write_bytes(dir.path("in.raw"), pcm_bytes(std::vector<std::int16_t>(800, 100)));
  ToolRun run = run_tool({"encode", "-q", dir.path("in.raw"), dir.path("out.g729")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  run = run_tool({"decode", "--quiet", dir.path("in.raw"), dir.path("out.wav")});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("unknown input format"), std::string::npos);
}

TEST(ToolCli, FailedRunKeepsTheOldOutputAndLeavesNoTemporary) {
  TempDir dir;
  const Bytes old{'o', 'l', 'd'};
  write_bytes(dir.path("out.wav"), old);
  // A serial frame's sync and length words, then less than the frame.
  Bytes cut{0x21, 0x6B, 0x50, 0x00};
  cut.resize(40, 0x7F);
  write_bytes(dir.path("cut.bit"), cut);
  const ToolRun run = run_tool({"decode", dir.path("cut.bit"), dir.path("out.wav")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(read_bytes(dir.path("out.wav")), old);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"cut.bit", "out.wav"}));
}

TEST(ToolCli, InterruptedRunLeavesNoPartialOutput) {
  TempDir dir;
  // Long enough (several minutes of audio) that the run is still going.
  const auto speech = speech_sample();
  std::vector<std::int16_t> long_input;
  for (int i = 0; i < 40; ++i) long_input.insert(long_input.end(), speech.begin(), speech.end());
  write_bytes(dir.path("long.raw"), pcm_bytes(long_input));
  write_bytes(dir.path("out.g729"), Bytes{'o', 'l', 'd'});
  const pid_t pid = spawn_tool({"encode", dir.path("long.raw"), dir.path("out.g729")});
  ASSERT_GT(pid, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  kill(pid, SIGINT);
  const int status = wait_status(pid);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"long.raw", "out.g729"}));
  const auto out = read_bytes(dir.path("out.g729"));
  if (status == 128 + SIGINT) {
    EXPECT_EQ(out, (Bytes{'o', 'l', 'd'}));
  } else {
    // Finished before the signal: then the output must be whole.
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.size(), long_input.size() / 80 * 10);
  }
}

TEST(ToolBatch, ConvertsEachFileOnItsOwnChannelAndReportsFailures) {
  TempDir dir;
  const auto speech = speech_sample();
  const std::vector<std::int16_t> a(speech.begin(), speech.begin() + 2400);
  const std::vector<std::int16_t> b(speech.begin() + 8000, speech.begin() + 12000);
  write_bytes(dir.path("a.raw"), pcm_bytes(a));
  write_bytes(dir.path("b.sln"), pcm_bytes(b));
  write_bytes(dir.path("bad.raw"), Bytes(3, 0));
  const ToolRun run = run_tool({"encode", "-j", "2", "-o", dir.path("out"), "--to", "bit",
                                dir.path("a.raw"), dir.path("bad.raw"), dir.path("b.sln")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(dir.path("bad.raw") + ": odd number of bytes"), std::string::npos);
  EXPECT_NE(run.err.find("2 of 3 files converted"), std::string::npos) << run.err;
  // Each output is what a fresh encoder makes of that input alone.
  for (const auto& [name, pcm] : {std::pair{std::string("a"), a}, std::pair{std::string("b"), b}}) {
    std::vector<g729io::SerialFrame> frames;
    std::string error;
    ASSERT_TRUE(g729io::parse_serial(read_bytes(dir.path("out/" + name + ".bit")), frames, error))
        << error;
    Bytes joined;
    for (const auto& f : frames) joined.insert(joined.end(), f.bytes.begin(), f.bytes.end());
    EXPECT_EQ(joined, encode_here(pcm)) << name;
  }
  EXPECT_FALSE(exists(dir.path("out/bad.bit")));

  // Decoding the batch back, to WAV by default.
  const ToolRun back = run_tool(
      {"decode", "-j", "3", "-o", dir.path("wav"), dir.path("out/a.bit"), dir.path("out/b.bit")});
  EXPECT_EQ(back.status, 0) << back.err;
  EXPECT_EQ(wav_samples(read_bytes(dir.path("wav/a.wav"))).size(), a.size());
  EXPECT_EQ(wav_samples(read_bytes(dir.path("wav/b.wav"))).size(), b.size());
  const Counts total = summary_counts(back.err);
  EXPECT_EQ(total.speech, static_cast<long>((a.size() + b.size()) / 80));
}

TEST(ToolBatch, TwoInputsWritingOneOutputIsAUsageError) {
  TempDir dir;
  const ToolRun run = run_tool({"encode", "-o", dir.path("out"), "x/a.raw", "y/a.raw"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("another input also writes"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tooltest
