// The conversions: a file in, a file out, through the module, in constant
// memory (audio and frames go out as they are produced).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "batch.h"
#include "capture.h"
#include "codec_host.h"

namespace g729tool {

class OutputFile;
class InputSource;

// Encoder output: .g729 (concatenated frames) or .bit (ITU serial).
bool is_encoded_output(const std::string& path);

// The frames into an open output, not yet committed: .bit when `serial`.
void write_encoded(OutputFile& out, std::span<const std::uint8_t> frames, bool serial);

// Audio -> .g729 / .bit (conversion.out_type "g729" or "bit"; in_type "raw"
// for headerless input, else by name and content).
FrameCounts encode_file(const CodecModule& codec, const Conversion& conversion);

// .g729 / .bit / capture -> raw or WAV (out_type "raw" or "wav"; in_type
// "g729", "bit", "pcap" or "" for by name and content).
FrameCounts decode_file(const CodecModule& codec, const Conversion& conversion,
                        const CaptureOptions& capture);

// Every G.729 stream of a capture to its own file: `out` with "-SSRC" (and
// "-2", "-3" for an SSRC seen between other endpoints too) before its
// extension. All files or none; a note names each file written, and
// `written` lists them.
FrameCounts decode_all_streams(const CodecModule& codec, const Conversion& conversion,
                               const CaptureOptions& capture, std::string& written);

// The two directions of one call (a G.729 stream and the one between the same
// endpoints the other way) into one stereo WAV, aligned by capture time:
// left the direction that started first. The call is the busiest stream's,
// or that of --ssrc. A one-way call leaves the missing direction silent.
FrameCounts decode_call(const CodecModule& codec, const Conversion& conversion,
                        const CaptureOptions& capture);

// Decodes a whole file into `stream` (any decoder input format, by name and
// content).
void decode_into(const std::string& in, const CaptureOptions& capture, DecodeStream& stream);

struct RoundTrip {
  FrameCounts encoded;
  FrameCounts decoded;
  std::vector<std::uint8_t> frames;  // the encoder's output
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

// Encode then decode in memory, with the quality figures of output against input.
RoundTrip round_trip(const CodecModule& codec, std::span<const std::int16_t> input,
                     const std::string& label);

// g729a roundtrip: IN encoded and decoded to OUT (and the frames to
// `bitstream` unless empty), streamed; prints the quality figures and the
// summary. Types as for encode_file (in, bitstream) and decode_file (out).
int run_roundtrip(const CodecModule& codec, const Conversion& conversion,
                  const std::string& bitstream, const std::string& bitstream_type);

}  // namespace g729tool
