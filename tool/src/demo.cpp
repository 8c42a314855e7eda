#include "demo.h"

#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "audio_file.h"
#include "batch.h"
#include "conversions.h"
#include "measures.h"
#include "output_file.h"
#include "report.h"
#include "tool_error.h"

extern const unsigned char demo_speech_bytes[];
extern const std::size_t demo_speech_bytes_size;

namespace g729tool {

namespace {

std::vector<std::string> demo_files(const std::string& dir) {
  const std::filesystem::path folder(dir);
  return {(folder / "original.wav").string(), (folder / "decoded.wav").string(),
          (folder / "decoded.g729").string()};
}

}  // namespace

void check_demo_folder(const std::string& dir) {
  std::error_code error;
  if (std::filesystem::exists(dir, error) && !std::filesystem::is_directory(dir, error)) {
    throw ToolError(kExitBadInput, dir + ": exists and is not a folder");
  }
  check_outputs({}, demo_files(dir), true);
}

int run_demo(const CodecModule& codec, const std::string& dir) {
  Stopwatch clock;
  const auto speech = pcm_from_bytes(std::span(demo_speech_bytes, demo_speech_bytes_size));
  const RoundTrip trip = round_trip(codec, speech, "demo speech");
  create_output_dir(dir);
  const auto names = demo_files(dir);
  OutputFile original(names[0]), audio(names[1]), frames(names[2]);
  write_audio(original, speech);
  write_audio(audio, trip.output);
  write_encoded(frames, trip.frames, false);
  commit_all({&original, &audio, &frames});
  // The speech band first: that is what the codec keeps. The plain figures
  // follow with why they are low for this recording.
  char text[400];
  std::snprintf(text, sizeof text,
                "demo speech (built in, %.1f s), speech band (input high-passed at 140 Hz as the "
                "encoder does): SNR %.2f dB, segmental SNR %.2f dB (output delayed by %d samples)",
                static_cast<double>(speech.size()) / kSampleRate, trip.band_snr_db,
                trip.band_segmental_snr_db, kCodecDelay);
  print_result(text);
  std::snprintf(text, sizeof text,
                "against the raw input: SNR %.2f dB, segmental SNR %.2f dB; low because this "
                "recording carries a DC offset and low-frequency rumble, which the encoder's "
                "high-pass filter removes on purpose",
                trip.snr_db, trip.segmental_snr_db);
  print_result(text);
  print_result("wrote " + names[0] + " (the input), " + names[2] + " (its frames) and " + names[1] +
               " (decoded): " + summary_text(trip.encoded, clock.seconds()));
  return 0;
}

}  // namespace g729tool
