// The file formats of encode and decode, checked against the translators
// driven directly in this process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "itu_serial.h"
#include "support/test_support.h"
#include "tool/tool_harness.h"

namespace tooltest {
namespace {

// Speech with a partial last frame.
std::vector<std::int16_t> short_speech() {
  auto speech = speech_sample();
  speech.resize(4000 + 37);
  return speech;
}

TEST(ToolEncode, HeaderlessInputsGiveTheTranslatorsFramesWithTheLastFrameCompleted) {
  TempDir dir;
  const auto speech = short_speech();
  const auto expected = encode_here(padded(speech));
  ASSERT_EQ(expected.size(), 51u * 10);
  for (const std::string ext : {".raw", ".pcm", ".sln", ".RAW"}) {
    write_bytes(dir.path("in" + ext), pcm_bytes(speech));
    const ToolRun run = run_tool({"encode", dir.path("in" + ext), dir.path("out.g729")});
    ASSERT_EQ(run.status, 0) << ext << ": " << run.err;
    EXPECT_EQ(read_bytes(dir.path("out.g729")), expected) << ext;
    const Counts counts = summary_counts(run.err);
    EXPECT_EQ(counts.speech, 51);
    EXPECT_EQ(counts.sid + counts.silent + counts.erased, 0);
  }
}

TEST(ToolEncode, SerialOutputHoldsTheSameFramesAsGoodSpeechFrames) {
  TempDir dir;
  const auto speech = short_speech();
  const auto expected = encode_here(padded(speech));
  write_bytes(dir.path("in.raw"), pcm_bytes(speech));
  const ToolRun run = run_tool({"encode", dir.path("in.raw"), dir.path("out.bit")});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto serial = read_bytes(dir.path("out.bit"));
  EXPECT_EQ(serial.size(), 51u * 82 * 2);
  std::vector<g729io::SerialFrame> frames;
  std::string error;
  ASSERT_TRUE(g729io::parse_serial(serial, frames, error)) << error;
  ASSERT_EQ(frames.size(), 51u);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].kind, g729io::SerialFrameKind::Speech);
    EXPECT_EQ(frames[i].bytes,
              std::vector<std::uint8_t>(expected.begin() + 10 * i, expected.begin() + 10 * i + 10))
        << "frame " << i;
  }
}

TEST(ToolEncode, WavInputsAreConvertedOnlyWhenTheyAreNotCodecAudio) {
  TempDir dir;
  const auto speech = short_speech();
  // 8 kHz mono 16-bit WAV: taken as it is, no note.
  write_bytes(dir.path("plain.wav"), wav_bytes(speech, 8000, 1));
  ToolRun run = run_tool({"encode", dir.path("plain.wav"), dir.path("plain.g729")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_bytes(dir.path("plain.g729")), encode_here(padded(speech)));
  EXPECT_EQ(run.err.find("converted"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("mixed"), std::string::npos) << run.err;

  // Stereo at 16 kHz, one second: mixed down, resampled, one note line.
  std::vector<std::int16_t> stereo;
  for (int i = 0; i < 16000; ++i) {
    stereo.push_back(speech[(i / 2) % speech.size()]);
    stereo.push_back(static_cast<std::int16_t>(-speech[(i / 2) % speech.size()] / 2));
  }
  write_bytes(dir.path("stereo.wav"), wav_bytes(stereo, 16000, 2));
  run = run_tool({"encode", dir.path("stereo.wav"), dir.path("stereo.g729")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("stereo.wav: mixed 2 channels down to mono and converted 16000 Hz to "
                         "8 kHz\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(read_bytes(dir.path("stereo.g729")).size(), 100u * 10);
  EXPECT_EQ(summary_counts(run.err).speech, 100);
}

TEST(ToolEncode, BadInputsFailWithTheFileAndReason) {
  TempDir dir;
  write_bytes(dir.path("odd.raw"), std::vector<std::uint8_t>(161, 1));
  write_bytes(dir.path("junk.wav"), std::vector<std::uint8_t>(300, 7));
  write_bytes(dir.path("empty.raw"), {});
  struct Case {
    std::string input, reason;
  };
  for (const Case& c :
       {Case{"odd.raw", "odd number of bytes"}, Case{"junk.wav", "not a readable audio file"},
        Case{"empty.raw", "no audio samples"},
        Case{"missing.raw", "cannot open: No such file or directory"}}) {
    const ToolRun run = run_tool({"encode", dir.path(c.input), dir.path("out.g729")});
    EXPECT_EQ(run.status, 1) << c.input;
    EXPECT_NE(run.err.find("g729a: " + dir.path(c.input) + ": " + c.reason), std::string::npos)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(exists(dir.path("out.g729"))) << c.input;
  }
  write_bytes(dir.path("in.raw"), pcm_bytes(short_speech()));
  const ToolRun run = run_tool({"encode", dir.path("in.raw"), dir.path("out.mp3")});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("unknown output format '.mp3'"), std::string::npos) << run.err;
}

TEST(ToolDecode, FramesBecomeWavOrRawOfTheDecodedSamples) {
  TempDir dir;
  const auto frames = encode_here(padded(short_speech()));
  const auto expected = decode_here(per_frame(frames));
  ASSERT_EQ(expected.size(), 51u * 80);
  write_bytes(dir.path("in.g729"), frames);
  ToolRun run = run_tool({"decode", dir.path("in.g729"), dir.path("out.wav")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(wav_samples(read_bytes(dir.path("out.wav"))), expected);
  EXPECT_EQ(summary_counts(run.err).speech, 51);
  run = run_tool({"decode", dir.path("in.g729"), dir.path("out.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_bytes(dir.path("out.raw")), pcm_bytes(expected));
}

TEST(ToolDecode, TrailingSidFrameIsDecodedAndCounted) {
  TempDir dir;
  auto frames = encode_here(padded(short_speech()));
  frames.resize(30);
  auto pieces = per_frame(frames);
  const std::vector<std::uint8_t> sid{0x5A, 0xC3};
  pieces.push_back({sid, 0});
  frames.insert(frames.end(), sid.begin(), sid.end());
  write_bytes(dir.path("in.g729"), frames);
  const ToolRun run = run_tool({"decode", dir.path("in.g729"), dir.path("out.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))), decode_here(pieces));
  const Counts counts = summary_counts(run.err);
  EXPECT_EQ(counts.speech, 3);
  EXPECT_EQ(counts.sid, 1);
}

TEST(ToolDecode, SerialFramesThatCarryNothingOrAreErasedKeepTheTimeline) {
  TempDir dir;
  auto frames = encode_here(padded(short_speech()));
  const std::vector<std::uint8_t> f0(frames.begin(), frames.begin() + 10);
  const std::vector<std::uint8_t> f1(frames.begin() + 10, frames.begin() + 20);
  const std::vector<std::uint8_t> sid{0x5A, 0xC3};
  std::vector<std::uint8_t> serial;
  g729io::append_serial_frame(f0, serial);
  g729io::append_serial_frame({}, serial);  // carried nothing
  g729io::append_serial_frame(f1, serial);
  const std::size_t erased_at = serial.size();
  g729io::append_serial_frame(f1, serial);
  serial[erased_at] = 0x20;  // sync word 0x6B20: erased
  g729io::append_serial_frame(sid, serial);
  g729io::append_serial_frame({}, serial);  // a pause after the SID frame
  g729io::append_serial_frame({}, serial);
  g729io::append_serial_frame(f0, serial);
  write_bytes(dir.path("in.bit"), serial);
  ToolRun run = run_tool({"decode", dir.path("in.bit"), dir.path("out.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  // Nothing sent right after speech: the SID frame was lost, so concealed.
  const auto expected =
      decode_here({{f0, 0}, {{}, 0, 1}, {f1, 0}, {{}, 0, 1}, {sid, 0}, {{}, 0, 0, 2}, {f0, 0}});
  ASSERT_EQ(expected.size(), 8u * 80);
  EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))), expected);
  Counts counts = summary_counts(run.err);
  EXPECT_EQ(counts.speech, 3);
  EXPECT_EQ(counts.sid, 1);
  EXPECT_EQ(counts.silent, 3);
  EXPECT_EQ(counts.erased, 1);
  EXPECT_EQ(counts.concealed, 2);
  EXPECT_EQ(counts.comfort_noise, 2);

  run = run_tool({"decode", "--gaps", "silence", dir.path("in.bit"), dir.path("out.raw")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(bytes_pcm(read_bytes(dir.path("out.raw"))),
            decode_here({{f0, 0}, {{}, 80}, {f1, 0}, {{}, 80}, {sid, 0}, {{}, 160}, {f0, 0}}));
  counts = summary_counts(run.err);
  EXPECT_EQ(counts.concealed, 0);
  EXPECT_EQ(counts.comfort_noise, 0);
  EXPECT_EQ(run_tool({"decode", "--gaps", "noise", dir.path("in.bit"), dir.path("o.raw")}).status,
            2);
}

TEST(ToolDecode, DamagedInputsFailWithoutOutput) {
  TempDir dir;
  const auto frames = encode_here(padded(short_speech()));
  auto truncated = frames;
  truncated.resize(40 + 7);
  write_bytes(dir.path("cut.g729"), truncated);
  write_bytes(dir.path("empty.g729"), {});
  std::vector<std::uint8_t> serial;
  g729io::append_serial_frame(std::span(frames).first(10), serial);
  auto cut_serial = serial;
  cut_serial.resize(serial.size() - 6);
  write_bytes(dir.path("cut.bit"), cut_serial);
  write_bytes(dir.path("text.bit"), std::vector<std::uint8_t>(400, 'a'));
  write_bytes(dir.path("in.xyz"), frames);
  struct Case {
    std::string input, reason;
    int status;
  };
  for (const Case& c :
       {Case{"empty.g729", "empty file", 1}, Case{"cut.bit", "bitstream ends inside a frame", 1},
        Case{"text.bit", "frame 1 has sync word 0x6161, not a serial bitstream", 1},
        Case{"missing.g729", "cannot open", 1}, Case{"in.xyz", "unknown input format '.xyz'", 2}}) {
    const ToolRun run = run_tool({"decode", dir.path(c.input), dir.path("out.wav")});
    EXPECT_EQ(run.status, c.status) << c.input;
    EXPECT_NE(run.err.find("g729a: " + dir.path(c.input) + ": " + c.reason), std::string::npos)
        << run.err;
    EXPECT_FALSE(exists(dir.path("out.wav"))) << c.input;
  }
}

TEST(ToolRoundTrip, WritesDecodedAudioAndFramesAndReportsTheirSnr) {
  TempDir dir;
  const auto speech = short_speech();
  write_bytes(dir.path("in.raw"), pcm_bytes(speech));
  const ToolRun run = run_tool({"roundtrip", dir.path("in.raw"), dir.path("out.wav"), "--bitstream",
                                dir.path("frames.g729")});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto frames = read_bytes(dir.path("frames.g729"));
  EXPECT_EQ(frames, encode_here(padded(speech)));
  const auto output = wav_samples(read_bytes(dir.path("out.wav")));
  EXPECT_EQ(output, decode_here(per_frame(frames)));
  char expected[120];
  std::snprintf(expected, sizeof expected, "SNR %.2f dB, segmental SNR %.2f dB",
                testsupport::snr_db(speech, output, 40),
                testsupport::segmental_snr_db(speech, output, 40));
  EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
  EXPECT_EQ(summary_counts(run.err).speech, 51);
}

struct Figures {
  double snr = 0, band_snr = 0;
};

Figures round_trip_figures(TempDir& dir, const std::vector<std::int16_t>& pcm) {
  write_bytes(dir.path("in.raw"), pcm_bytes(pcm));
  const ToolRun run = run_tool({"roundtrip", dir.path("in.raw"), dir.path("out.raw")});
  EXPECT_EQ(run.status, 0) << run.err;
  Figures f;
  const auto at = run.err.find("): SNR ");
  EXPECT_EQ(std::sscanf(run.err.c_str() + run.err.find("SNR "), "SNR %lf", &f.snr), 1) << run.err;
  EXPECT_NE(at, std::string::npos) << run.err;
  if (at != std::string::npos) {
    EXPECT_EQ(std::sscanf(run.err.c_str() + at, "): SNR %lf", &f.band_snr), 1) << run.err;
  }
  return f;
}

// A DC offset is removed by the encoder's high-pass on purpose: it ruins the
// plain figure but must not change the speech-band one.
TEST(ToolRoundTrip, SpeechBandFigureIgnoresWhatTheHighPassRemoves) {
  TempDir dir;
  const auto speech = short_speech();
  auto offset = speech;
  for (auto& v : offset) v = static_cast<std::int16_t>(std::clamp(v + 4000, -32768, 32767));
  const Figures plain = round_trip_figures(dir, speech);
  const Figures shifted = round_trip_figures(dir, offset);
  EXPECT_GT(std::fabs(shifted.snr - plain.snr), 1.0);  // the plain figure sees the offset
  EXPECT_NEAR(shifted.band_snr, plain.band_snr, 0.5);
  // The recording's own rumble counts against the plain figure only.
  EXPECT_GT(plain.band_snr, plain.snr + 1.0);
}

}  // namespace
}  // namespace tooltest
