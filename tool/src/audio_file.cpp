#include "audio_file.h"

#include <sndfile.h>
#include <soxr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "input_source.h"
#include "output_file.h"
#include "tool_error.h"

namespace g729tool {
namespace {

constexpr int kCodecRate = 8000;
// Converting from far below the codec rate would multiply the input's
// length without bound (1 Hz: 8000 times); far above, nothing is speech.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 1000000;

std::int16_t to_sample(double normalized) {
  const double scaled = std::round(normalized * 32768.0);
  return static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

std::uint32_t le32_at(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A RIFF WAVE file whose data chunk is shorter than its header says: the
// samples that are there are read; the user is told where the file stops.
// Returns "" for whole files, for anything that is not a WAV and for inputs
// that cannot seek. Leaves the input at its start.
std::string wav_cut_short(InputSource& source) {
  if (!source.seekable()) return "";
  const auto head = source.head(12);
  if (head.size() < 12 || std::memcmp(head.data(), "RIFF", 4) != 0 ||
      std::memcmp(head.data() + 8, "WAVE", 4) != 0) {
    return "";
  }
  const auto size = static_cast<std::uint64_t>(source.size());
  std::uint64_t pos = 12;
  std::array<std::uint8_t, 8> chunk{};
  std::string result;
  while (pos + 8 <= size) {
    if (!source.seek(static_cast<long long>(pos)) || source.read(chunk) != 8) break;
    const std::uint64_t length = le32_at(chunk, 4);
    if (std::memcmp(chunk.data(), "data", 4) == 0) {
      const std::uint64_t present = size - (pos + 8);
      if (length != 0xFFFFFFFF && present < length) {
        result = "the file stops at byte " + std::to_string(size) + ", " + std::to_string(present) +
                 " of the " + std::to_string(length) +
                 " data bytes its header declares; the samples present are used";
      }
      break;
    }
    pos += 8 + length + (length & 1);
  }
  source.seek(0);
  return result;
}

// libsndfile reads through the input: a pipe reports no length and goes
// back only over the bytes it keeps.
sf_count_t virtual_length(void* user) {
  const auto size = static_cast<InputSource*>(user)->size();
  return size < 0 ? SF_COUNT_MAX : size;
}
sf_count_t virtual_seek(sf_count_t offset, int whence, void* user) {
  auto* source = static_cast<InputSource*>(user);
  long long target = offset;
  if (whence == SEEK_CUR) target += source->tell();
  if (whence == SEEK_END) {
    if (source->size() < 0) return -1;
    target += source->size();
  }
  return source->seek(target) ? target : -1;
}
sf_count_t virtual_read(void* data, sf_count_t count, void* user) {
  return static_cast<sf_count_t>(static_cast<InputSource*>(user)->read(
      std::span(static_cast<std::uint8_t*>(data), static_cast<std::size_t>(count))));
}
sf_count_t virtual_write(const void*, sf_count_t, void*) {
  return 0;
}
sf_count_t virtual_tell(void* user) {
  return static_cast<InputSource*>(user)->tell();
}

// Writes value little-endian into bytes places from at. inout: out.
void put_le(std::array<std::uint8_t, 44>& out, std::size_t at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> wav_header(int channels, std::uint64_t data_bytes) {
  const auto data =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(data_bytes, 0xFFFFFFFF - 36));
  std::array<std::uint8_t, 44> h{};
  const auto text = [&](std::size_t at, const char* four) {
    for (int i = 0; i < 4; ++i) h[at + i] = static_cast<std::uint8_t>(four[i]);
  };
  text(0, "RIFF");
  put_le(h, 4, data + 36, 4);
  text(8, "WAVE");
  text(12, "fmt ");
  put_le(h, 16, 16, 4);
  put_le(h, 20, 1, 2);  // PCM
  put_le(h, 22, static_cast<std::uint32_t>(channels), 2);
  put_le(h, 24, kCodecRate, 4);
  put_le(h, 28, static_cast<std::uint32_t>(kCodecRate * 2 * channels), 4);
  put_le(h, 32, static_cast<std::uint32_t>(2 * channels), 2);
  put_le(h, 34, 16, 2);
  text(36, "data");
  put_le(h, 40, data, 4);
  return {h.begin(), h.end()};
}

}  // namespace

bool looks_like_audio_file(std::span<const std::uint8_t> head) {
  if (head.size() < 4) return false;
  const std::string magic(head.begin(), head.begin() + 4);
  for (const char* known :
       {"RIFF", "RIFX", "RF64", "FORM", ".snd", "fLaC", "OggS", "caff", "riff"}) {
    if (magic == known) return true;
  }
  return false;
}

std::string extension_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

bool is_headerless_pcm(const std::string& path) {
  const std::string ext = extension_of(path);
  return ext == ".raw" || ext == ".pcm" || ext == ".sln";
}

std::vector<std::uint8_t> read_whole_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw bad_input(path, std::string("cannot open: ") + std::strerror(errno));
  std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
  if (in.bad()) throw bad_input(path, std::string("read failed: ") + std::strerror(errno));
  return data;
}

std::vector<std::int16_t> pcm_from_bytes(std::span<const std::uint8_t> bytes) {
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return pcm;
}

std::vector<std::uint8_t> bytes_from_pcm(std::span<const std::int16_t> samples) {
  std::vector<std::uint8_t> bytes(samples.size() * 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto word = static_cast<std::uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<std::uint8_t>(word & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
  }
  return bytes;
}

struct AudioReader::Decoder {
  SF_VIRTUAL_IO io{virtual_length, virtual_seek, virtual_read, virtual_write, virtual_tell};
  SF_INFO info{};
  SNDFILE* file = nullptr;
  bool plain = false;  // already codec audio: the samples exactly as stored
  soxr_t resampler = nullptr;
  bool drained = false;
  std::vector<double> frames, mono, resampled;

  ~Decoder() {
    if (file) sf_close(file);
    if (resampler) soxr_delete(resampler);
  }
};

AudioReader::AudioReader(InputSource& source, bool headerless)
    : source_(source), headerless_(headerless) {
  if (headerless_) return;
  const std::string& path = source.label();
  if (source.size() == 0 || source.head(1).empty()) throw bad_input(path, "empty file, no audio");
  cut_short_ = wav_cut_short(source);
  decoder_ = std::make_unique<Decoder>();
  auto& d = *decoder_;
  d.file = sf_open_virtual(&d.io, SFM_READ, &d.info, &source);
  if (!d.file) {
    throw bad_input(path, std::string("not a readable audio file: ") + sf_strerror(nullptr) +
                              " (headerless PCM needs a .raw, .pcm or .sln name, or -t raw)");
  }
  if (d.info.channels < 1 || d.info.samplerate < 1) {
    throw bad_input(path, "audio file declares no channels or no sample rate");
  }
  if (d.info.samplerate < kLowestRate || d.info.samplerate > kHighestRate) {
    throw bad_input(path, "sample rate of " + std::to_string(d.info.samplerate) +
                              " Hz is outside " + std::to_string(kLowestRate) + ".." +
                              std::to_string(kHighestRate) + " Hz");
  }
  d.plain = d.info.channels == 1 && d.info.samplerate == kCodecRate &&
            (d.info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
  if (d.info.samplerate != kCodecRate) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    d.resampler = soxr_create(d.info.samplerate, kCodecRate, 1, &error, &io, &quality, nullptr);
    if (error) throw bad_input(path, std::string("sample-rate conversion failed: ") + error);
  }
}

AudioReader::~AudioReader() = default;

bool AudioReader::read(std::vector<std::int16_t>& block) {
  constexpr std::size_t kBlock = 4096;
  const std::string& path = source_.label();
  if (headerless_) {
    std::vector<std::uint8_t> bytes(2 * kBlock);
    const std::size_t n = source_.read(bytes);
    if (n % 2 != 0) throw bad_input(path, "odd number of bytes, not 16-bit PCM (truncated?)");
    bytes.resize(n);
    block = pcm_from_bytes(bytes);
    return n > 0;
  }
  auto& d = *decoder_;
  block.clear();
  while (block.empty()) {
    if (d.plain) {
      block.resize(kBlock);
      const sf_count_t n = sf_readf_short(d.file, block.data(), kBlock);
      block.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
      if (n <= 0) break;
      continue;
    }
    const int channels = d.info.channels;
    d.frames.resize(kBlock * static_cast<std::size_t>(channels));
    const sf_count_t n = d.drained ? 0 : sf_readf_double(d.file, d.frames.data(), kBlock);
    d.mono.clear();
    for (sf_count_t i = 0; i < n; ++i) {
      double sum = 0.0;
      for (int c = 0; c < channels; ++c) {
        // A damaged float file may hold NaN or infinity, which would spread
        // through the resampler and has no integer value.
        const double v = d.frames[static_cast<std::size_t>(i * channels + c)];
        if (std::isfinite(v)) {
          sum += v;
        } else {
          ++not_finite_;
        }
      }
      d.mono.push_back(sum / channels);
    }
    const std::vector<double>* ready = &d.mono;
    if (d.resampler) {
      if (n <= 0 && d.drained) break;
      d.resampled.resize(static_cast<std::size_t>(
          std::ceil(static_cast<double>(d.mono.size()) * kCodecRate / d.info.samplerate) + 4096));
      std::size_t used = 0, produced = 0;
      // No input (a null buffer) asks the resampler for what it still holds.
      const soxr_error_t error =
          soxr_process(d.resampler, n > 0 ? d.mono.data() : nullptr, d.mono.size(), &used,
                       d.resampled.data(), d.resampled.size(), &produced);
      if (error) throw bad_input(path, std::string("sample-rate conversion failed: ") + error);
      d.resampled.resize(produced);
      if (n <= 0 && produced == 0) d.drained = true;
      ready = &d.resampled;
    } else if (n <= 0) {
      break;
    }
    block.resize(ready->size());
    std::transform(ready->begin(), ready->end(), block.begin(), to_sample);
  }
  if (sf_error(d.file) != SF_ERR_NO_ERROR) {
    throw bad_input(path, std::string("damaged audio file: ") + sf_strerror(d.file));
  }
  return !block.empty();
}

std::string AudioReader::conversion() const {
  if (headerless_) return "";
  const auto& info = decoder_->info;
  std::string text;
  const int channels = info.channels;
  if (channels != 1 && info.samplerate != kCodecRate) {
    text = "mixed " + std::to_string(channels) + " channels down to mono and converted " +
           std::to_string(info.samplerate) + " Hz to 8 kHz";
  } else if (channels != 1) {
    text = "mixed " + std::to_string(channels) + " channels down to mono";
  } else if (info.samplerate != kCodecRate) {
    text = "converted " + std::to_string(info.samplerate) + " Hz to 8 kHz";
  } else if (!decoder_->plain) {
    text = "converted the samples to 16 bits";
  }
  if (not_finite_ > 0) {
    text += "; " + std::to_string(not_finite_) +
            " samples that were not finite numbers were taken as silence";
  }
  return text;
}

bool is_audio_output(const std::string& path) {
  const std::string ext = extension_of(path);
  return ext.empty() || ext == ".wav" || ext == ".wave" || is_headerless_pcm(path);
}

AudioWriter::AudioWriter(OutputFile& out, bool headerless, int channels)
    : out_(out), headerless_(headerless), channels_(channels) {
  // Into a pipe the length is not known when the header goes out.
  if (!headerless_) out_.write(wav_header(channels_, out_.rewrite_offset() < 0 ? 0xFFFFFFFF : 0));
}

void AudioWriter::write(std::span<const std::int16_t> samples) {
  out_.write(bytes_from_pcm(samples));
  data_bytes_ += 2 * samples.size();
}

void AudioWriter::finish() {
  if (headerless_ || out_.rewrite_offset() < 0) return;
  const auto header = wav_header(channels_, data_bytes_);
  if (pwrite(out_.fd(), header.data(), header.size(), out_.rewrite_offset()) !=
      static_cast<ssize_t>(header.size())) {
    throw bad_input(out_.path(), std::string("write failed: ") + std::strerror(errno));
  }
}

void write_audio(OutputFile& out, std::span<const std::int16_t> samples, int channels) {
  AudioWriter writer(out, is_headerless_pcm(out.path()), channels);
  writer.write(samples);
  writer.finish();
}

}  // namespace g729tool
