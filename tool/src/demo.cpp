#include "demo.h"

#include <span>
#include <string>

#include "audio_file.h"
#include "jobs.h"
#include "output_file.h"
#include "report.h"

extern const unsigned char demo_speech_bytes[];
extern const std::size_t demo_speech_bytes_size;

namespace g729tool {

int run_demo(const CodecModule& codec) {
  Stopwatch clock;
  const auto speech = pcm_from_bytes(std::span(demo_speech_bytes, demo_speech_bytes_size));
  const RoundTrip trip = round_trip(codec, speech, "demo speech");
  OutputFile audio("g729a-demo.wav"), frames("g729a-demo.g729");
  write_audio(audio, trip.output);
  write_encoded(frames, trip.frames);
  commit_all({&audio, &frames});
  char label[64];
  std::snprintf(label, sizeof label, "demo speech (built in, %.1f s): ",
                static_cast<double>(speech.size()) / kSampleRate);
  print_result(label + quality_text(trip));
  print_result("wrote g729a-demo.g729 and g729a-demo.wav: " +
               summary_text(trip.encoded, clock.seconds()));
  return 0;
}

}  // namespace g729tool
