// What the user owns is never lost: outputs that would replace an input or
// a write-protected file are refused, several outputs appear all or none,
// usage errors create nothing, and truncated inputs keep what is complete.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tool/capture_writer.h"
#include "tool/tool_harness.h"

namespace tooltest {
namespace {

namespace fs = std::filesystem;

std::vector<std::int16_t> short_speech(std::size_t samples) {
  auto speech = speech_sample();
  speech.resize(samples);
  return speech;
}

TEST(ToolSafety, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
  TempDir dir;
  const auto pcm = short_speech(1600);
  const Bytes wav = wav_bytes(pcm, 8000, 1);
  write_bytes(dir.path("a.wav"), wav);
  const Bytes frames = encode_here(pcm);
  write_bytes(dir.path("a.g729"), frames);
  // A capture under an audio name, decoded onto itself.
  const Bytes capture = pcap_file({ethernet_ipv4_udp(rtp_packet({1, 0, 7, 18, frames}))});
  write_bytes(dir.path("c.wav"), capture);
  // Another name for the same file: found by device and inode.
  ASSERT_EQ(link(dir.path("a.wav").c_str(), dir.path("same.wav").c_str()), 0);
  fs::create_directory(dir.path("sub"));
  struct Case {
    std::vector<std::string> args;
    std::string reason;
  };
  for (const Case& c : {
           Case{{"roundtrip", dir.path("a.wav"), dir.path("a.wav")}, "is the input"},
           Case{{"decode", dir.path("c.wav"), dir.path("c.wav")}, "is the input"},
           Case{{"roundtrip", dir.path("a.wav"), dir.path("same.wav")}, "is the input"},
           Case{{"roundtrip", dir.path("a.wav"), dir.path("sub/../a.wav")}, "is the input"},
           Case{{"roundtrip", dir.path("a.wav"), dir.path("o.wav"), "--bitstream",
                 dir.path("a.g729")},
                ""},
           Case{{"roundtrip", dir.path("a.g729"), dir.path("o.wav"), "--bitstream",
                 dir.path("sub/../a.g729")},
                "is the input"},
       }) {
    const ToolRun run = run_tool(c.args);
    if (c.reason.empty()) {
      // A bitstream output may replace an unrelated existing file.
      EXPECT_EQ(run.status, 0) << run.err;
      write_bytes(dir.path("a.g729"), frames);
      fs::remove(dir.path("o.wav"));
      continue;
    }
    EXPECT_EQ(run.status, 2) << c.args[2] << ": " << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
  }
  EXPECT_EQ(read_bytes(dir.path("a.wav")), wav);
  EXPECT_EQ(read_bytes(dir.path("a.g729")), frames);
  EXPECT_EQ(read_bytes(dir.path("c.wav")), capture);
  EXPECT_EQ(dir.entries(),
            (std::vector<std::string>{"a.g729", "a.wav", "c.wav", "same.wav", "sub"}));
}

TEST(ToolSafety, DecodedAudioUnderAnotherFormatsNameIsRefused) {
  TempDir dir;
  write_bytes(dir.path("a.g729"), encode_here(short_speech(800)));
  for (const std::string name : {"out.pcap", "out.pcapng", "out.bit", "out.g729", "out.flac"}) {
    const ToolRun run = run_tool({"decode", dir.path("a.g729"), dir.path(name)});
    EXPECT_EQ(run.status, 2) << name;
    EXPECT_NE(run.err.find("decoded audio goes to .wav or .raw"), std::string::npos) << run.err;
    EXPECT_FALSE(exists(dir.path(name)));
  }
  const ToolRun run = run_tool({"roundtrip", dir.path("x.raw"), dir.path("x.pcap")});
  EXPECT_EQ(run.status, 2) << run.err;
  for (const std::string name : {"out.wav", "out.WAV", "out.sln", "noextension"}) {
    EXPECT_EQ(run_tool({"decode", "-q", dir.path("a.g729"), dir.path(name)}).status, 0) << name;
  }
}

TEST(ToolSafety, AWriteProtectedDestinationIsNotReplaced) {
  TempDir dir;
  write_bytes(dir.path("a.g729"), encode_here(short_speech(800)));
  const Bytes old{'m', 'i', 'n', 'e'};
  write_bytes(dir.path("keep.wav"), old);
  ASSERT_EQ(chmod(dir.path("keep.wav").c_str(), 0444), 0);
  ToolRun run = run_tool({"decode", dir.path("a.g729"), dir.path("keep.wav")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("keep.wav: cannot replace: write-protected"), std::string::npos)
      << run.err;
  // In a batch the other files still convert.
  fs::create_directory(dir.path("out"));
  write_bytes(dir.path("out/keep.wav"), old);
  ASSERT_EQ(chmod(dir.path("out/keep.wav").c_str(), 0444), 0);
  ASSERT_TRUE(fs::copy_file(dir.path("a.g729"), dir.path("keep.g729")));
  run = run_tool({"decode", "-o", dir.path("out"), dir.path("a.g729"), dir.path("keep.g729")});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(exists(dir.path("out/a.wav")));
  for (const std::string name : {"keep.wav", "out/keep.wav"}) {
    EXPECT_EQ(read_bytes(dir.path(name)), old) << name;
    struct stat st {};
    ASSERT_EQ(stat(dir.path(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u) << name;
  }
}

TEST(ToolSafety, ARoundTripWritesBothOutputsOrNeither) {
  TempDir dir;
  write_bytes(dir.path("in.raw"), pcm_bytes(short_speech(1600)));
  write_bytes(dir.path("ro.g729"), Bytes{'o', 'l', 'd'});
  ASSERT_EQ(chmod(dir.path("ro.g729").c_str(), 0444), 0);
  for (const std::string frames : {"missing/frames.g729", "ro.g729"}) {
    const ToolRun run = run_tool(
        {"roundtrip", dir.path("in.raw"), dir.path("out.wav"), "--bitstream", dir.path(frames)});
    EXPECT_EQ(run.status, 1) << frames;
    EXPECT_NE(run.err.find(frames), std::string::npos) << run.err;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.raw", "ro.g729"})) << frames;
  }
  const ToolRun run = run_tool(
      {"roundtrip", dir.path("in.raw"), dir.path("out.wav"), "--bitstream", dir.path("f.bit")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"f.bit", "in.raw", "out.wav", "ro.g729"}));
}

TEST(ToolSafety, UsageErrorsCreateNothing) {
  TempDir dir;
  write_bytes(dir.path("x.g729"), encode_here(short_speech(800)));
  const std::vector<std::vector<std::string>> cases{
      {"decode", "-o", dir.path("o3"), dir.path("x.g729"), dir.path("x.g729")},
      {"decode", "-o", dir.path("o3/deeper"), "--to", "mp3", dir.path("x.g729")},
      {"encode", "-o", dir.path("o3"), dir.path("x.g729"), dir.path("x.g729")},
      {"decode", "-o", dir.path("o3"), "--module", dir.path("none.so"), dir.path("x.g729")},
  };
  for (const auto& args : cases) {
    const ToolRun run = run_tool(args);
    EXPECT_NE(run.status, 0) << args[2];
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"x.g729"})) << args[2] << ": " << run.err;
  }
}

TEST(ToolSafety, ATruncatedCaptureKeepsItsCompletePackets) {
  TempDir dir;
  const Bytes frames = encode_here(short_speech(40 * 80));
  std::vector<Bytes> captured;
  std::vector<Piece> expected;
  for (int i = 0; i < 20; ++i) {
    const Bytes payload(frames.begin() + 20 * i, frames.begin() + 20 * i + 20);
    captured.push_back(ethernet_ipv4_udp(rtp_packet(
        {static_cast<std::uint16_t>(i), static_cast<std::uint32_t>(160 * i), 7, 18, payload})));
    if (i < 19) expected.push_back({payload, 0});
  }
  for (const bool ng : {false, true}) {
    Bytes file = ng ? pcapng_file(captured) : pcap_file(captured);
    file.resize(file.size() - 30);  // inside the last packet
    const std::string name = ng ? "cut.pcapng" : "cut.pcap";
    write_bytes(dir.path(name), file);
    const ToolRun run = run_tool({"decode", dir.path(name), dir.path("out.raw")});
    ASSERT_EQ(run.status, 0) << name << ": " << run.err;
    EXPECT_NE(
        run.err.find(dir.path(name) + ": the file stops at byte " + std::to_string(file.size()) +
                     ", in the middle of packet 20; the 19 "
                     "complete packets before it are used"),
        std::string::npos)
        << run.err;
    EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))), decode_here(expected)) << name;
  }
}

TEST(ToolSafety, ATruncatedWavIsEncodedAsFarAsItGoesWithAWarning) {
  TempDir dir;
  const auto pcm = short_speech(1600);
  Bytes wav = wav_bytes(pcm, 8000, 1);
  const std::size_t header = wav.size() - 2 * pcm.size();
  wav.resize(header + 2 * 1000);
  write_bytes(dir.path("cut.wav"), wav);
  const ToolRun run = run_tool({"encode", dir.path("cut.wav"), dir.path("cut.g729")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("warning: " + dir.path("cut.wav") + ": the file stops at byte " +
                         std::to_string(wav.size()) + ", 2000 of the 3200 data bytes"),
            std::string::npos)
      << run.err;
  const std::vector<std::int16_t> present(pcm.begin(), pcm.begin() + 1000);
  EXPECT_EQ(read_bytes(dir.path("cut.g729")), encode_here(padded(present)));
  // A whole file gets no warning.
  write_bytes(dir.path("whole.wav"), wav_bytes(pcm, 8000, 1));
  EXPECT_EQ(run_tool({"encode", dir.path("whole.wav"), dir.path("whole.g729")}).err.find("warning"),
            std::string::npos);
}

}  // namespace
}  // namespace tooltest
