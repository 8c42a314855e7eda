// Encoder inputs written with libsndfile (FLAC, Ogg/Vorbis, float WAV) and
// empty or oddly sized inputs of every kind.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "tool/tool_harness.h"

namespace tooltest {
namespace {

// in: interleaved samples in -1..1
void write_sound(const std::string& path, int format, int rate, int channels,
                 const std::vector<float>& samples) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  ASSERT_TRUE(sf_format_check(&info)) << "libsndfile cannot write format " << std::hex << format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
  EXPECT_EQ(sf_writef_float(file, samples.data(), frames), frames);
  sf_close(file);
}

std::vector<float> as_float(const std::vector<std::int16_t>& pcm) {
  std::vector<float> out;
  for (auto s : pcm) out.push_back(static_cast<float>(s) / 32768.0f);
  return out;
}

double rms(std::span<const std::int16_t> pcm) {
  double sum = 0;
  for (auto s : pcm) sum += static_cast<double>(s) * s;
  return pcm.empty() ? 0 : std::sqrt(sum / static_cast<double>(pcm.size()));
}

std::vector<std::int16_t> speech_of(std::size_t samples) {
  auto speech = speech_sample();
  speech.resize(samples);
  return speech;
}

TEST(ToolInputs, FlacAtCodecRateIsTakenSampleForSample) {
  TempDir dir;
  const auto speech = speech_of(3000 + 11);
  write_sound(dir.path("in.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 1, as_float(speech));
  const ToolRun run = run_tool({"encode", dir.path("in.flac"), dir.path("out.g729")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_bytes(dir.path("out.g729")), encode_here(padded(speech)));
  EXPECT_EQ(run.err.find("converted"), std::string::npos) << run.err;
  EXPECT_EQ(summary_counts(run.err).speech, 38);
}

TEST(ToolInputs, OggVorbisIsDecodedAndEncoded) {
  TempDir dir;
  const auto speech = speech_of(8000);
  write_sound(dir.path("in.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS, 8000, 1, as_float(speech));
  const ToolRun run = run_tool({"encode", dir.path("in.ogg"), dir.path("out.g729")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("in.ogg: converted the samples to 16 bits\n"), std::string::npos)
      << run.err;
  const auto frames = read_bytes(dir.path("out.g729"));
  EXPECT_EQ(frames.size(), 100u * 10);
  // Lossy twice over, but still the same speech at about the same level.
  const auto decoded = decode_here(per_frame(frames));
  const double in_level = rms(speech), out_level = rms(decoded);
  EXPECT_GT(out_level, 0.5 * in_level);
  EXPECT_LT(out_level, 2.0 * in_level);
}

TEST(ToolInputs, FloatStereoAt44100IsMixedNotTakenFromOneChannel) {
  TempDir dir;
  constexpr int kRate = 44100;
  for (const float right_sign : {1.0f, -1.0f}) {
    std::vector<float> stereo;
    for (int i = 0; i < kRate; ++i) {
      const float left =
          0.25f * static_cast<float>(std::sin(2 * std::numbers::pi * 440 * i / kRate));
      stereo.push_back(left);
      stereo.push_back(right_sign * left);
    }
    write_sound(dir.path("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, 2, stereo);
    const ToolRun run = run_tool({"encode", dir.path("tone.wav"), dir.path("tone.g729")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("tone.wav: mixed 2 channels down to mono and converted 44100 Hz to "
                           "8 kHz\n"),
              std::string::npos)
        << run.err;
    const auto frames = read_bytes(dir.path("tone.g729"));
    // One second at 8 kHz, give or take the resampler's last samples.
    EXPECT_GE(frames.size(), 99u * 10);
    EXPECT_LE(frames.size(), 101u * 10);
    const auto decoded = decode_here(per_frame(frames));
    const double level = rms(std::span(decoded).subspan(800));
    if (right_sign > 0) {
      // 0.25 of full scale: an RMS of about 5800.
      EXPECT_GT(level, 3000) << "in phase";
      EXPECT_LT(level, 9000) << "in phase";
    } else {
      EXPECT_LT(level, 100) << "channels cancel";
    }
  }
}

TEST(ToolInputs, NotANumberInAFloatFileIsSilence) {
  TempDir dir;
  // Exact in float and in 16 bits, so the expected frames are known.
  auto speech = speech_of(800);
  std::vector<float> samples = as_float(speech);
  for (std::size_t at : {0u, 17u, 400u, 799u}) {
    samples[at] =
        at % 2 ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
    speech[at] = 0;
  }
  write_sound(dir.path("nan.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 1, samples);
  const ToolRun run = run_tool({"encode", dir.path("nan.wav"), dir.path("out.g729")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_bytes(dir.path("out.g729")), encode_here(speech));
  EXPECT_NE(run.err.find("4 samples that were not finite numbers were taken as silence"),
            std::string::npos)
      << run.err;
}

TEST(ToolInputs, SampleRatesFarFromSpeechAreRefused) {
  TempDir dir;
  // From 1 Hz the conversion would make 8000 samples of each one: a small
  // file asked for more memory than the machine has.
  const auto speech = speech_of(2000);
  struct Case {
    int rate;
    bool accepted;
  };
  for (const Case& c : {Case{1, false}, Case{999, false}, Case{1000, true}, Case{1000000, true},
                        Case{1000001, false}}) {
    write_bytes(dir.path("in.wav"), wav_bytes(speech, c.rate, 1));
    const ToolRun run = run_tool({"encode", dir.path("in.wav"), dir.path("out.g729")});
    if (c.accepted) {
      EXPECT_EQ(run.status, 0) << c.rate << ": " << run.err;
      EXPECT_NE(run.err.find("converted " + std::to_string(c.rate) + " Hz to 8 kHz"),
                std::string::npos)
          << run.err;
      // 2000 samples at the file's rate, about that long at 8 kHz.
      const double expected_frames = 2000.0 * 8000 / c.rate / 80;
      EXPECT_NEAR(static_cast<double>(read_bytes(dir.path("out.g729")).size() / 10),
                  std::max(1.0, expected_frames), 1.0 + expected_frames / 100)
          << c.rate;
      std::remove(dir.path("out.g729").c_str());
    } else {
      EXPECT_EQ(run.status, 1) << c.rate;
      EXPECT_NE(run.err.find("in.wav: sample rate of " + std::to_string(c.rate) +
                             " Hz is outside 1000..1000000 Hz"),
                std::string::npos)
          << run.err;
      EXPECT_FALSE(exists(dir.path("out.g729"))) << c.rate;
    }
  }
}

TEST(ToolInputs, EmptyAudioFilesFailWithoutOutput) {
  TempDir dir;
  write_bytes(dir.path("zero.wav"), {});
  write_bytes(dir.path("zero.flac"), {});
  write_bytes(dir.path("header.wav"), wav_bytes({}, 8000, 1));
  write_sound(dir.path("header.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 1, {});
  struct Case {
    std::string input, reason, or_reason;
  };
  // libsndfile writes nothing, or a FLAC file it cannot read back, for no
  // samples; either answer is a clean refusal.
  for (const Case& c :
       {Case{"zero.wav", "empty file, no audio", ""}, Case{"zero.flac", "empty file, no audio", ""},
        Case{"header.wav", "no audio samples", ""},
        Case{"header.flac", "no audio samples", "empty file, no audio"}}) {
    const ToolRun run = run_tool({"encode", dir.path(c.input), dir.path("out.g729")});
    EXPECT_EQ(run.status, 1) << c.input;
    const std::string prefix = "g729a: " + dir.path(c.input) + ": ";
    EXPECT_TRUE(run.err.find(prefix + c.reason) != std::string::npos ||
                (!c.or_reason.empty() && run.err.find(prefix + c.or_reason) != std::string::npos))
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(exists(dir.path("out.g729"))) << c.input;
  }
}

TEST(ToolInputs, FrameFilesOfEveryLengthAreDecodedOrRefused) {
  TempDir dir;
  const auto frames = encode_here(padded(speech_of(400)));
  ASSERT_EQ(frames.size(), 50u);
  const std::vector<std::uint8_t> sid{0x5A, 0xC3};
  // Whole frames, optionally a 2-byte SID frame last, are decoded; any
  // other remainder is left out with a warning naming the byte where the
  // whole frames stop, and less than a frame is refused.
  for (std::size_t size = 0; size <= 22; ++size) {
    std::vector<std::uint8_t> data(frames.begin(),
                                   frames.begin() + std::min<std::size_t>(size, 20));
    if (size % 10 == 2) {
      data.resize(size - 2);
      data.insert(data.end(), sid.begin(), sid.end());
    } else {
      data.resize(size, 0x33);
    }
    write_bytes(dir.path("in.g729"), data);
    const ToolRun run = run_tool({"decode", dir.path("in.g729"), dir.path("out.raw")});
    const std::size_t tail = size % 10;
    if (size == 0) {
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find("empty file, no frames"), std::string::npos) << run.err;
    } else if (tail == 0 || tail == 2) {
      ASSERT_EQ(run.status, 0) << size << ": " << run.err;
      EXPECT_EQ(read_bytes(dir.path("out.raw")).size(), 2u * 80 * (size / 10 + (tail == 2)))
          << size;
      const Counts counts = summary_counts(run.err);
      EXPECT_EQ(counts.speech, static_cast<long>(size / 10)) << size;
      EXPECT_EQ(counts.sid, tail == 2 ? 1 : 0) << size;
      std::remove(dir.path("out.raw").c_str());
    } else if (size < 10) {
      EXPECT_EQ(run.status, 1) << size;
      EXPECT_NE(run.err.find("not even one 10-byte frame"), std::string::npos) << run.err;
      EXPECT_FALSE(exists(dir.path("out.raw"))) << size;
    } else {
      ASSERT_EQ(run.status, 0) << size << ": " << run.err;
      const std::size_t stop = size - tail;
      EXPECT_NE(run.err.find("warning: " + dir.path("in.g729") + ": the file ends " +
                             std::to_string(tail) + " bytes into a 10-byte frame at byte " +
                             std::to_string(stop)),
                std::string::npos)
          << run.err;
      EXPECT_EQ(read_bytes(dir.path("out.raw")).size(), 2u * 80 * (stop / 10)) << size;
      EXPECT_EQ(summary_counts(run.err).speech, static_cast<long>(stop / 10)) << size;
      std::remove(dir.path("out.raw").c_str());
    }
  }
}

TEST(ToolInputs, EmptyBitstreamAndCaptureAreRefused) {
  TempDir dir;
  write_bytes(dir.path("empty.bit"), {});
  write_bytes(dir.path("empty.pcap"), {});
  write_bytes(dir.path("empty.pcapng"), {});
  struct Case {
    std::string input, reason;
  };
  for (const Case& c :
       {Case{"empty.bit", "empty file, no frames"}, Case{"empty.pcap", "empty file, no frames"},
        Case{"empty.pcapng", "empty file, no frames"}}) {
    const ToolRun run = run_tool({"decode", dir.path(c.input), dir.path("out.wav")});
    EXPECT_EQ(run.status, 1) << c.input;
    EXPECT_NE(run.err.find("g729a: " + dir.path(c.input) + ": " + c.reason), std::string::npos)
        << run.err;
    EXPECT_FALSE(exists(dir.path("out.wav"))) << c.input;
  }
}

}  // namespace
}  // namespace tooltest
