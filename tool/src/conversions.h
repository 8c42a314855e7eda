// The conversions: a file in, a file out, through the module.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "capture.h"
#include "codec_host.h"

namespace g729tool {

class OutputFile;

// Encoder output: .g729 (concatenated frames) or .bit (ITU serial).
bool is_encoded_output(const std::string& path);

// in: frames, concatenated 10-byte frames; written through OutputFile.
void write_encoded(const std::string& path, std::span<const std::uint8_t> frames);
// The same into an open output, not yet committed.
void write_encoded(OutputFile& out, std::span<const std::uint8_t> frames);

// Audio file -> .g729 / .bit.
FrameCounts encode_file(const CodecModule& codec, const std::string& in, const std::string& out);

// .g729 / .bit / capture -> raw or WAV. Without an output path the result
// stays in `decoded` only.
FrameCounts decode_file(const CodecModule& codec, const std::string& in, const std::string& out,
                        const CaptureOptions& capture,
                        std::vector<std::int16_t>* decoded = nullptr);

// Every G.729 stream of a capture to its own file: `out` with "-SSRC" (and
// "-2", "-3" for an SSRC seen between other endpoints too) before its
// extension. All files or none.
FrameCounts decode_all_streams(const CodecModule& codec, const std::string& in,
                               const std::string& out, const CaptureOptions& capture);

// The two directions of one call (a G.729 stream and the one between the same
// endpoints the other way) into one stereo WAV, aligned by capture time:
// left the direction that started first. The call is the busiest stream's,
// or that of --ssrc.
FrameCounts decode_call(const CodecModule& codec, const std::string& in, const std::string& out,
                        const CaptureOptions& capture);

// Decodes a whole file into `stream` (any decoder input format).
void decode_into(const std::string& in, const CaptureOptions& capture, DecodeStream& stream);

struct RoundTrip {
  FrameCounts encoded;
  FrameCounts decoded;
  std::vector<std::uint8_t> frames;  // the encoder's output
  std::vector<std::int16_t> input;
  std::vector<std::int16_t> output;
  double snr_db = 0;
  double segmental_snr_db = 0;
  // The same figures against the input's speech band: the input passed
  // through the encoder's 140 Hz high-pass, which removes DC and rumble by
  // design, so recordings that carry them are not judged on what the codec
  // is meant to drop.
  double band_snr_db = 0;
  double band_segmental_snr_db = 0;
};

// "SNR a dB, segmental SNR b dB; speech band: SNR c dB, segmental SNR d dB
// (output delayed by 40 samples)".
std::string quality_text(const RoundTrip& trip);

// Encode then decode, with the quality figures of output against input.
RoundTrip round_trip(const CodecModule& codec, std::span<const std::int16_t> input,
                     const std::string& label);

// g729a roundtrip: IN encoded and decoded to OUT (and the frames to
// `bitstream` unless empty); prints the quality figures and the summary.
int run_roundtrip(const CodecModule& codec, const std::string& in, const std::string& out,
                  const std::string& bitstream);

}  // namespace g729tool
