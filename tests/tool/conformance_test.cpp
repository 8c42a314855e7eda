// Published sequences: bit-exact decoding against the golden outputs, and
// the conformance command's verdicts.
#include <gtest/gtest.h>

#include <filesystem>

#include "itu_serial.h"
#include "support/test_support.h"
#include "tool/tool_harness.h"

namespace tooltest {
namespace {

namespace fs = std::filesystem;

TEST(ToolConformance, SerialDecodingEqualsTheGoldenOutputs) {
  REQUIRE_CONFORMANCE_DATA();
  const std::string shared = testsupport::shared_dir();
  TempDir dir;
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(shared + "/golden")) {
    const std::string name = entry.path().filename();
    const auto suffix =
        name.find(".BIT.raw") != std::string::npos ? name.find(".BIT.raw") : name.find(".bit.raw");
    if (suffix == std::string::npos) continue;
    const std::string stem = name.substr(0, suffix);
    const std::string bitstream = stem.rfind("tstseq", 0) == 0
                                      ? shared + "/testvectors/g729b/" + stem + ".bit"
                                      : shared + "/testvectors/g729a/" + stem + ".BIT";
    const ToolRun run = run_tool({"decode", "-q", bitstream, dir.path(stem + ".raw")});
    ASSERT_EQ(run.status, 0) << stem << ": " << run.err;
    const auto ours = read_bytes(dir.path(stem + ".raw"));
    const auto golden = read_bytes(entry.path());
    ASSERT_EQ(ours.size(), golden.size()) << stem;
    std::size_t first = 0;
    while (first < ours.size() && ours[first] == golden[first]) ++first;
    EXPECT_EQ(first, ours.size()) << stem << ": first differing sample " << first / 2 << " (frame "
                                  << first / 160 << ")";
    ++compared;
  }
  EXPECT_GE(compared, 7);
}

// The published inputs are headerless PCM; the tool completes their last
// partial frame, which the golden files (whole frames only) do not hold.
TEST(ToolConformance, EncodingEqualsTheGoldenFrames) {
  REQUIRE_CONFORMANCE_DATA();
  const std::string shared = testsupport::shared_dir();
  TempDir dir;
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(shared + "/golden")) {
    if (entry.path().extension() != ".g729") continue;
    const std::string stem = entry.path().stem();
    const auto input = read_bytes(shared + "/testvectors/g729a/" + stem + ".IN");
    write_bytes(dir.path(stem + ".raw"), input);
    const ToolRun run =
        run_tool({"encode", "-q", dir.path(stem + ".raw"), dir.path(stem + ".g729")});
    ASSERT_EQ(run.status, 0) << stem << ": " << run.err;
    const auto ours = read_bytes(dir.path(stem + ".g729"));
    const auto golden = read_bytes(entry.path());
    const std::size_t samples = input.size() / 2;
    EXPECT_EQ(ours.size(), (samples + 79) / 80 * 10) << stem;
    ASSERT_EQ(golden.size(), samples / 80 * 10) << stem;
    std::size_t first = 0;
    while (first < golden.size() && first < ours.size() && ours[first] == golden[first]) ++first;
    EXPECT_EQ(first, golden.size()) << stem << ": first differing frame " << first / 10;
    ++compared;
  }
  EXPECT_GE(compared, 6);
}

TEST(ToolConformance, PublishedSequencesMeetTheFloors) {
  REQUIRE_CONFORMANCE_DATA();
  const ToolRun run = run_tool({"conformance", testsupport::shared_dir() + "/testvectors"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const std::string name :
       {"g729a/ALGTHM", "g729a/SPEECH", "g729a/ERASURE", "g729b/tstseq1a", "g729b/tstseq6"}) {
    EXPECT_NE((run.out + run.err).find(name), std::string::npos) << name;
  }
  EXPECT_NE(run.out.find("16 of 16 sequences meet their floors"), std::string::npos) << run.out;
  // Sequences with missing frames are checked against floors, not only shown.
  for (const std::string name :
       {"g729a/ERASURE", "g729a/OVERFLOW", "g729b/tstseq1a", "g729b/tstseq2a", "g729b/tstseq3a",
        "g729b/tstseq4a", "g729b/tstseq6"}) {
    const auto at = run.out.find(name);
    ASSERT_NE(at, std::string::npos) << name;
    const std::string line = run.out.substr(at, run.out.find('\n', at) - at);
    EXPECT_NE(line.find(" >= "), std::string::npos) << line;
    EXPECT_EQ(line.find("info"), std::string::npos) << line;
  }
  for (const std::string name : {"g729b/tstseq3a", "g729b/tstseq4a"}) {
    const auto at = run.out.find(name);
    EXPECT_NE(run.out.substr(at, run.out.find('\n', at) - at).find("; DTX gaps "),
              std::string::npos)
        << name;
  }
}

// The level of the comfort-noise frames is compared where they are: against
// the module's own decoding the distance is nil.
TEST(ToolConformance, DtxGapLevelIsMeasuredOverTheComfortNoiseFrames) {
  TempDir dir;
  auto input = speech_sample();
  input.resize(20 * 80);
  const auto frames = encode_here(input);
  const Bytes sid{0x5A, 0xC3};
  Bytes serial;
  std::vector<Piece> pieces;
  for (int block = 0; block < 2; ++block) {
    for (int f = 0; f < 10; ++f) {
      const auto frame =
          std::span(frames).subspan(static_cast<std::size_t>(10 * (10 * block + f)), 10);
      g729io::append_serial_frame(frame, serial);
      pieces.push_back({Bytes(frame.begin(), frame.end()), 0});
    }
    g729io::append_serial_frame(sid, serial);
    pieces.push_back({sid, 0});
    for (int f = 0; f < 4; ++f) g729io::append_serial_frame({}, serial);
    pieces.push_back({{}, 0, 0, 4});
  }
  write_bytes(dir.path("tstseq9a.bit"), serial);
  write_bytes(dir.path("tstseq9a.out"), pcm_bytes(decode_here(pieces)));
  const ToolRun run = run_tool({"conformance", dir.dir()});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("200.00 dB"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("; DTX gaps +0.00 dB from the published level"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("(20 speech, 2 SID, 8 silent, 0 erased; 0 concealed, 8 comfort noise)"),
            std::string::npos)
      << run.out;
}

// A sequence made here: the tool must pass it against the module's own
// decoding and fail it against a reference that is not that decoding.
TEST(ToolConformance, VerdictFollowsTheReference) {
  TempDir dir;
  auto input = speech_sample();
  input.resize(160 * 80);
  const auto frames = encode_here(input);
  Bytes serial;
  for (std::size_t pos = 0; pos < frames.size(); pos += 10) {
    g729io::append_serial_frame(std::span(frames).subspan(pos, 10), serial);
  }
  const auto decoded = decode_here(per_frame(frames));
  fs::create_directory(dir.path("good"));
  write_bytes(dir.path("good/MINE.BIT"), serial);
  write_bytes(dir.path("good/MINE.IN"), pcm_bytes(input));
  write_bytes(dir.path("good/MINE.PST"), pcm_bytes(decoded));
  ToolRun run = run_tool({"conformance", dir.path("good")});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("MINE"), std::string::npos);
  EXPECT_NE(run.out.find("200.00 dB"), std::string::npos) << run.out;

  std::vector<std::int16_t> inverted(decoded.size());
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    inverted[i] = static_cast<std::int16_t>(-decoded[i] / 2);
  }
  fs::create_directory(dir.path("bad"));
  write_bytes(dir.path("bad/MINE.BIT"), serial);
  write_bytes(dir.path("bad/MINE.PST"), pcm_bytes(inverted));
  run = run_tool({"conformance", dir.path("bad")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("MINE"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("FAIL"), std::string::npos) << run.err;

  // Bitstreams alone: nothing was checked, which is no pass.
  fs::create_directory(dir.path("alone"));
  write_bytes(dir.path("alone/MINE.BIT"), serial);
  run = run_tool({"conformance", dir.path("alone")});
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("0 of 1 sequences meet their floors, 1 not checked"), std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("NOT CHECKED"), std::string::npos) << run.err;
  write_bytes(dir.path("alone/MINE.PST"), pcm_bytes(decoded));
  write_bytes(dir.path("alone/OTHER.BIT"), serial);
  run = run_tool({"conformance", dir.path("alone")});
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("1 of 2 sequences meet their floors, 1 not checked"), std::string::npos)
      << run.out;

  fs::create_directory(dir.path("empty"));
  run = run_tool({"conformance", dir.path("empty")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no test sequences"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tooltest
