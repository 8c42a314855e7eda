#include "jobs.h"

#include <algorithm>
#include <cmath>

#include "audio_file.h"
#include "g729a/codec.h"
#include "itu_serial.h"
#include "measures.h"
#include "output_file.h"
#include "report.h"
#include "tool_error.h"

namespace g729tool {
namespace {

// Jobs shorter than this many frames (30 s) get no progress bar.
constexpr double kProgressFrames = 3000;

void decode_serial(const std::string& in, DecodeStream& stream) {
  const auto data = read_whole_file(in);
  std::vector<g729io::SerialFrame> frames;
  std::string error;
  if (!g729io::parse_serial(data, frames, error)) throw bad_input(in, error);
  if (frames.empty()) throw bad_input(in, "empty bitstream, no frames");
  Progress progress("decoding " + in, static_cast<double>(frames.size()), kProgressFrames);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto& frame = frames[i];
    progress.advance(1);
    switch (frame.kind) {
      case g729io::SerialFrameKind::Speech:
      case g729io::SerialFrameKind::Sid:
        // Each frame is its own payload, as a switch would receive it.
        if (!stream.decode_payload(frame.bytes, error)) {
          throw bad_input(in, "frame " + std::to_string(i + 1) + ": " + error);
        }
        break;
      case g729io::SerialFrameKind::Untransmitted:
        stream.add_silence(kFrameSamples, false);
        break;
      case g729io::SerialFrameKind::Erased:
        stream.add_silence(kFrameSamples, true);
        break;
    }
  }
}

// Two frames per payload, as 20 ms RTP packets carry them; a trailing SID
// frame joins the last payload, where the decoder recognises it.
void decode_frame_run(const std::string& label, std::span<const std::uint8_t> data,
                      DecodeStream& stream) {
  Progress progress("decoding " + label, static_cast<double>(data.size() / kSpeechFrameBytes),
                    kProgressFrames);
  constexpr std::size_t kPayload = 2 * kSpeechFrameBytes;
  std::size_t pos = 0;
  std::string error;
  while (pos < data.size()) {
    std::size_t n = std::min(kPayload, data.size() - pos);
    if (data.size() - pos - n == kSidFrameBytes) n += kSidFrameBytes;
    if (!stream.decode_payload(data.subspan(pos, n), error)) {
      throw bad_input(label, "bytes " + std::to_string(pos) + ".." + std::to_string(pos + n - 1) +
                                 ": " + error);
    }
    progress.advance(static_cast<double>(n / kSpeechFrameBytes));
    pos += n;
  }
}

void decode_frames(const std::string& in, DecodeStream& stream) {
  const auto data = read_whole_file(in);
  if (data.empty()) throw bad_input(in, "empty file, no frames");
  const std::size_t tail = data.size() % kSpeechFrameBytes;
  if (tail != 0 && tail != kSidFrameBytes) {
    throw bad_input(in, "truncated: " + std::to_string(tail) +
                            " bytes at the end are not a whole 10-byte frame");
  }
  decode_frame_run(in, data, stream);
}

bool is_capture_name(const std::string& path) {
  const std::string ext = extension_of(path);
  return ext == ".pcap" || ext == ".pcapng" || ext == ".cap";
}

}  // namespace

bool is_encoded_output(const std::string& path) {
  const std::string ext = extension_of(path);
  return ext == ".g729" || ext == ".bit";
}

void write_encoded(const std::string& path, std::span<const std::uint8_t> frames) {
  OutputFile out(path);
  if (extension_of(path) == ".bit") {
    std::vector<std::uint8_t> serial;
    serial.reserve(frames.size() / kSpeechFrameBytes * 164);
    for (std::size_t pos = 0; pos + kSpeechFrameBytes <= frames.size(); pos += kSpeechFrameBytes) {
      g729io::append_serial_frame(frames.subspan(pos, kSpeechFrameBytes), serial);
    }
    out.write(serial);
  } else {
    out.write(frames);
  }
  out.commit();
}

FrameCounts encode_file(const CodecModule& codec, const std::string& in, const std::string& out) {
  if (!is_encoded_output(out)) {
    throw usage_error(out + ": unknown output format '" + extension_of(out) +
                      "' (use .g729 or .bit)");
  }
  const AudioInput audio = read_audio(in);
  if (!audio.conversion.empty()) print_note(in + ": " + audio.conversion);
  if (audio.samples.empty()) throw bad_input(in, "no audio samples");
  FrameCounts counts;
  Progress progress("encoding " + in, static_cast<double>(audio.samples.size()),
                    kProgressFrames * kFrameSamples);
  const auto frames = encode_pcm(codec, audio.samples, counts, &progress);
  write_encoded(out, frames);
  return counts;
}

void decode_into(const std::string& in, const CaptureOptions& capture, DecodeStream& stream) {
  const std::string ext = extension_of(in);
  // Frame files are taken by name: their first bytes are arbitrary.
  if (ext == ".bit") {
    decode_serial(in, stream);
  } else if (ext == ".g729") {
    decode_frames(in, stream);
  } else if (is_capture_name(in) || looks_like_capture(in)) {
    decode_capture(in, capture, stream);
  } else {
    throw usage_error(in + ": unknown input format '" + ext +
                      "' (use .g729, .bit, .pcap or .pcapng)");
  }
}

FrameCounts decode_file(const CodecModule& codec, const std::string& in, const std::string& out,
                        const CaptureOptions& capture, std::vector<std::int16_t>* decoded) {
  if (is_encoded_output(out)) {
    throw usage_error(out + ": decoded audio goes to .raw or .wav, not '" + extension_of(out) +
                      "'");
  }
  DecodeStream stream(codec);
  decode_into(in, capture, stream);
  if (!out.empty()) write_audio(out, stream.output());
  if (decoded) *decoded = std::move(stream.output());
  return stream.counts();
}

namespace {

// The encoder's pre-processing high-pass, rounded back to 16 bits: the part of
// the input the codec is meant to keep.
std::vector<std::int16_t> speech_band(std::span<const std::int16_t> pcm) {
  std::vector<double> signal(pcm.begin(), pcm.end());
  g729a::BiquadMemory memory{};
  g729a::encoder_preprocess(memory, signal);
  std::vector<std::int16_t> out(pcm.size());
  for (std::size_t n = 0; n < pcm.size(); ++n) {
    out[n] = static_cast<std::int16_t>(std::lround(std::clamp(signal[n], -32768.0, 32767.0)));
  }
  return out;
}

}  // namespace

std::string quality_text(const RoundTrip& trip) {
  char text[200];
  std::snprintf(text, sizeof text,
                "SNR %.2f dB, segmental SNR %.2f dB; speech band (input high-passed at 140 Hz as "
                "the encoder does): SNR %.2f dB, segmental SNR %.2f dB (output delayed by %d "
                "samples)",
                trip.snr_db, trip.segmental_snr_db, trip.band_snr_db, trip.band_segmental_snr_db,
                kCodecDelay);
  return text;
}

RoundTrip round_trip(const CodecModule& codec, std::span<const std::int16_t> input,
                     const std::string& label) {
  RoundTrip result;
  result.input.assign(input.begin(), input.end());
  {
    Progress progress("encoding " + label, static_cast<double>(input.size()),
                      kProgressFrames * kFrameSamples);
    result.frames = encode_pcm(codec, input, result.encoded, &progress);
  }
  DecodeStream stream(codec);
  decode_frame_run(label, result.frames, stream);
  result.output = std::move(stream.output());
  result.decoded = stream.counts();
  result.snr_db = snr_db(result.input, result.output, kCodecDelay);
  result.segmental_snr_db = segmental_snr_db(result.input, result.output, kCodecDelay);
  const auto band = speech_band(result.input);
  result.band_snr_db = snr_db(band, result.output, kCodecDelay);
  result.band_segmental_snr_db = segmental_snr_db(band, result.output, kCodecDelay);
  return result;
}

}  // namespace g729tool
