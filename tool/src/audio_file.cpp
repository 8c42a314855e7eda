#include "audio_file.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

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

struct SndFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

std::vector<double> resample(const std::vector<double>& in, int rate, const std::string& path) {
  const double ratio = static_cast<double>(kCodecRate) / rate;
  std::vector<double> out(static_cast<std::size_t>(std::ceil(in.size() * ratio)) + 16);
  std::size_t produced = 0;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_error_t error =
      soxr_oneshot(rate, kCodecRate, 1, in.data(), in.size(), nullptr, out.data(), out.size(),
                   &produced, &io, &quality, nullptr);
  if (error) throw bad_input(path, std::string("sample-rate conversion failed: ") + error);
  out.resize(produced);
  return out;
}

std::uint32_t le32_at(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A RIFF WAVE file whose data chunk is shorter than its header says: the
// samples that are there are read; the user is told where the file stops.
// Returns "" for whole files and for anything that is not a WAV.
std::string wav_cut_short(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> head(12);
  if (!in.read(reinterpret_cast<char*>(head.data()), 12)) return "";
  if (std::memcmp(head.data(), "RIFF", 4) != 0 || std::memcmp(head.data() + 8, "WAVE", 4) != 0) {
    return "";
  }
  in.seekg(0, std::ios::end);
  const auto size = static_cast<std::uint64_t>(in.tellg());
  std::uint64_t pos = 12;
  std::vector<std::uint8_t> chunk(8);
  while (pos + 8 <= size) {
    in.seekg(static_cast<std::streamoff>(pos));
    if (!in.read(reinterpret_cast<char*>(chunk.data()), 8)) return "";
    const std::uint64_t length = le32_at(chunk, 4);
    if (std::memcmp(chunk.data(), "data", 4) == 0) {
      const std::uint64_t present = size - (pos + 8);
      if (length == 0xFFFFFFFF || present >= length) return "";
      return "the file stops at byte " + std::to_string(size) + ", " + std::to_string(present) +
             " of the " + std::to_string(length) +
             " data bytes its header declares; the samples present are used";
    }
    pos += 8 + length + (length & 1);
  }
  return "";
}

}  // namespace

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

AudioInput read_audio(const std::string& path) {
  AudioInput result;
  if (is_headerless_pcm(path)) {
    const auto bytes = read_whole_file(path);
    if (bytes.size() % 2 != 0) {
      throw bad_input(path, "odd number of bytes, not 16-bit PCM (truncated?)");
    }
    result.samples = pcm_from_bytes(bytes);
    return result;
  }
  {
    // libsndfile's own message for a missing file is vague; check first.
    std::ifstream probe(path, std::ios::binary);
    if (!probe) throw bad_input(path, std::string("cannot open: ") + std::strerror(errno));
  }
  const std::string cut_short = wav_cut_short(path);
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    throw bad_input(path, std::string("not a readable audio file: ") + sf_strerror(nullptr) +
                              " (headerless PCM needs a .raw, .pcm or .sln name)");
  }
  if (info.channels < 1 || info.samplerate < 1) {
    throw bad_input(path, "audio file declares no channels or no sample rate");
  }
  if (info.samplerate < kLowestRate || info.samplerate > kHighestRate) {
    throw bad_input(path, "sample rate of " + std::to_string(info.samplerate) + " Hz is outside " +
                              std::to_string(kLowestRate) + ".." + std::to_string(kHighestRate) +
                              " Hz");
  }
  const int channels = info.channels;
  long not_finite = 0;
  const bool plain = channels == 1 && info.samplerate == kCodecRate &&
                     (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
  if (plain) {
    // Already codec audio: take the samples exactly as stored.
    std::vector<std::int16_t> block(4096);
    sf_count_t n;
    while ((n = sf_readf_short(file.get(), block.data(), 4096)) > 0) {
      result.samples.insert(result.samples.end(), block.begin(), block.begin() + n);
    }
  } else {
    std::vector<double> mono;
    std::vector<double> block(4096 * static_cast<std::size_t>(channels));
    sf_count_t n;
    while ((n = sf_readf_double(file.get(), block.data(), 4096)) > 0) {
      for (sf_count_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int c = 0; c < channels; ++c) {
          // A damaged float file may hold NaN or infinity, which would spread
          // through the resampler and has no integer value.
          const double v = block[i * channels + c];
          if (std::isfinite(v)) {
            sum += v;
          } else {
            ++not_finite;
          }
        }
        mono.push_back(sum / channels);
      }
    }
    if (info.samplerate != kCodecRate) mono = resample(mono, info.samplerate, path);
    result.samples.resize(mono.size());
    std::transform(mono.begin(), mono.end(), result.samples.begin(), to_sample);
  }
  if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
    throw bad_input(path, std::string("damaged audio file: ") + sf_strerror(file.get()));
  }
  if (channels != 1 && info.samplerate != kCodecRate) {
    result.conversion = "mixed " + std::to_string(channels) +
                        " channels down to mono and converted " + std::to_string(info.samplerate) +
                        " Hz to 8 kHz";
  } else if (channels != 1) {
    result.conversion = "mixed " + std::to_string(channels) + " channels down to mono";
  } else if (info.samplerate != kCodecRate) {
    result.conversion = "converted " + std::to_string(info.samplerate) + " Hz to 8 kHz";
  } else if (!plain) {
    result.conversion = "converted the samples to 16 bits";
  }
  if (not_finite > 0) {
    result.conversion += "; " + std::to_string(not_finite) +
                         " samples that were not finite numbers were taken as silence";
  }
  result.cut_short = cut_short;
  return result;
}

bool is_audio_output(const std::string& path) {
  const std::string ext = extension_of(path);
  return ext.empty() || ext == ".wav" || ext == ".wave" || is_headerless_pcm(path);
}

void write_audio(const std::string& path, std::span<const std::int16_t> samples) {
  OutputFile out(path);
  write_audio(out, samples);
  out.commit();
}

void write_audio(OutputFile& out, std::span<const std::int16_t> samples, int channels) {
  const std::string& path = out.path();
  if (is_headerless_pcm(path)) {
    out.write(bytes_from_pcm(samples));
  } else {
    SF_INFO info{};
    info.samplerate = kCodecRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open_fd(out.fd(), SFM_WRITE, &info, SF_FALSE);
    if (!file) throw bad_input(path, std::string("cannot write WAV: ") + sf_strerror(nullptr));
    const auto frames =
        static_cast<sf_count_t>(samples.size() / static_cast<std::size_t>(channels));
    const sf_count_t written = sf_writef_short(file, samples.data(), frames);
    const int close_error = sf_close(file);
    if (written != frames || close_error != 0) throw bad_input(path, "write failed");
  }
}

}  // namespace g729tool
