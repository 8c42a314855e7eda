// Linear audio files: headerless 16-bit little-endian mono at 8 kHz (.raw,
// .pcm, .sln), anything else through libsndfile, converted to what the codec
// takes (mono, 8 kHz, 16 bits).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace g729tool {

class OutputFile;

// True when the bytes start like a container libsndfile reads (WAV, RF64,
// AIFF, AU, FLAC, Ogg, CAF, W64).
bool looks_like_audio_file(std::span<const std::uint8_t> head);

// Lower-case extension with the dot, "" when there is none.
std::string extension_of(const std::string& path);
bool is_headerless_pcm(const std::string& path);

// Whole file content; throws ToolError naming the file when unreadable.
std::vector<std::uint8_t> read_whole_file(const std::string& path);

class InputSource;

// Audio read block by block as the codec takes it (mono, 8 kHz, 16 bits):
// headerless 16-bit little-endian when `headerless`, else through
// libsndfile, mixed down and resampled as it goes.
class AudioReader {
 public:
  // Throws ToolError (bad input) for unreadable, unknown or damaged files.
  AudioReader(InputSource& source, bool headerless);
  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  // The next samples into `block` (resized); false at the end.
  bool read(std::vector<std::int16_t>& block);
  // What was done to reach codec audio, "" when nothing; complete at the end.
  std::string conversion() const;
  // Where a truncated WAV stops, "" when whole (seekable inputs only).
  const std::string& cut_short() const { return cut_short_; }

 private:
  struct Decoder;
  InputSource& source_;
  bool headerless_;
  std::unique_ptr<Decoder> decoder_;
  std::string cut_short_;
  long not_finite_ = 0;
};

// Decoded audio written as it comes: headerless 16-bit little-endian, or a
// 16-bit WAV at 8 kHz whose sizes are filled in at the end (left at their
// largest value in a pipe or on a device, as for a stream).
class AudioWriter {
 public:
  AudioWriter(OutputFile& out, bool headerless, int channels = 1);
  // `samples` interleaved when there are several channels.
  void write(std::span<const std::int16_t> samples);
  // Completes the header; the OutputFile is committed by its owner.
  void finish();

 private:
  OutputFile& out_;
  bool headerless_;
  int channels_;
  std::uint64_t data_bytes_ = 0;
};

// Headerless for .raw/.pcm/.sln, otherwise a 16-bit WAV at 8 kHz, into an
// open output, not yet committed; `channels` interleaved.
void write_audio(OutputFile& out, std::span<const std::int16_t> samples, int channels = 1);

// Names decoded audio may take: .wav, .wave, .raw, .pcm, .sln or none (WAV);
// any other extension says another format.
bool is_audio_output(const std::string& path);

// Little-endian 16-bit words, independent of the host byte order.
std::vector<std::int16_t> pcm_from_bytes(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> bytes_from_pcm(std::span<const std::int16_t> samples);

}  // namespace g729tool
