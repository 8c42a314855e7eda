#include "demo.h"

#include <cstdio>
#include <span>
#include <string>

#include "audio_file.h"
#include "conversions.h"
#include "measures.h"
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
  write_encoded(frames, trip.frames, false);
  commit_all({&audio, &frames});
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
  print_result("wrote g729a-demo.g729 and g729a-demo.wav: " +
               summary_text(trip.encoded, clock.seconds()));
  return 0;
}

}  // namespace g729tool
