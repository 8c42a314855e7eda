// Linear audio files: headerless 16-bit little-endian mono at 8 kHz (.raw,
// .pcm, .sln), anything else through libsndfile, converted to what the codec
// takes (mono, 8 kHz, 16 bits).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace g729tool {

class OutputFile;

// Lower-case extension with the dot, "" when there is none.
std::string extension_of(const std::string& path);
bool is_headerless_pcm(const std::string& path);

// Whole file content; throws ToolError naming the file when unreadable.
std::vector<std::uint8_t> read_whole_file(const std::string& path);

struct AudioInput {
  std::vector<std::int16_t> samples;  // mono, 8 kHz
  std::string conversion;             // what was done to get there, "" when nothing
  std::string cut_short;              // where a truncated file stops, "" when whole
};

// Throws ToolError (bad input) for unreadable, unknown or damaged files.
AudioInput read_audio(const std::string& path);

// Headerless for .raw/.pcm/.sln, otherwise a 16-bit mono WAV at 8 kHz;
// written through OutputFile, so the file appears complete or not at all.
void write_audio(const std::string& path, std::span<const std::int16_t> samples);
// The same into an open output, not yet committed; `channels` interleaved.
void write_audio(OutputFile& out, std::span<const std::int16_t> samples, int channels = 1);

// Names decoded audio may take: .wav, .wave, .raw, .pcm, .sln or none (WAV);
// any other extension says another format.
bool is_audio_output(const std::string& path);

// Little-endian 16-bit words, independent of the host byte order.
std::vector<std::int16_t> pcm_from_bytes(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> bytes_from_pcm(std::span<const std::int16_t> samples);

}  // namespace g729tool
