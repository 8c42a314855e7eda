// Running the g729a binary from tests, and the files the tests hand it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tooltest {

using Bytes = std::vector<std::uint8_t>;

struct ToolRun {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs the tool with `args` in directory `cwd` (the test's own when empty).
ToolRun run_tool(const std::vector<std::string>& args, const std::string& cwd = "");
// The same with `input` on standard input, through a pipe (as from cat) or
// from a file (as with < FILE); `env` entries ("NAME=value") are added to
// the environment.
ToolRun run_tool_fed(const std::vector<std::string>& args, const std::vector<std::uint8_t>& input,
                     bool pipe, const std::vector<std::string>& env = {});
// Starts the tool without waiting; stdout and stderr are discarded.
pid_t spawn_tool(const std::vector<std::string>& args);
int wait_status(pid_t pid);

// A fresh directory, removed with its contents at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& dir() const { return dir_; }
  std::vector<std::string> entries() const;  // names, sorted

 private:
  std::string dir_;
};

void write_bytes(const std::string& path, std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> read_bytes(const std::string& path);
bool exists(const std::string& path);
std::vector<std::uint8_t> pcm_bytes(std::span<const std::int16_t> pcm);
std::vector<std::int16_t> bytes_pcm(std::span<const std::uint8_t> bytes);

// 16-bit PCM WAV; samples interleaved when channels > 1.
std::vector<std::uint8_t> wav_bytes(std::span<const std::int16_t> samples, int rate, int channels);
// The data part of a 16-bit mono 8 kHz WAV; fails the test on any other layout.
std::vector<std::int16_t> wav_samples(const std::vector<std::uint8_t>& wav);

// The bundled speech sample.
std::vector<std::int16_t> speech_sample();

// The translators driven in this process through the stand-in, as a
// reference for what the tool must produce.
std::vector<std::uint8_t> encode_here(std::span<const std::int16_t> pcm);
// Each payload through one g729tolin channel; a piece with `silence` set
// stands for that many samples of silence instead, one with `erased` or
// `untransmitted` for that many frames from the module's entry points of
// those names.
struct Piece {
  std::vector<std::uint8_t> payload;
  int silence = 0;        // samples of silence instead of a payload
  int erased = 0;         // frames through g729tolin_erased
  int untransmitted = 0;  // frames through g729tolin_untransmitted
};
std::vector<std::int16_t> decode_here(const std::vector<Piece>& pieces);
// One piece per 10-byte frame.
std::vector<Piece> per_frame(const Bytes& frames);
// The tool completes a last partial frame with silence.
std::vector<std::int16_t> padded(std::vector<std::int16_t> pcm);

// Numbers of the summary line: "(S speech, I SID, Q silent, E erased)".
// "; C concealed, N comfort noise" follows when frames were missing (else
// both stay -1).
struct Counts {
  long speech = -1, sid = -1, silent = -1, erased = -1;
  long concealed = -1, comfort_noise = -1;
  long late = -1, duplicates = -1;  // "; L late packets used, D duplicates dropped"
};
Counts summary_counts(const std::string& text);

}  // namespace tooltest
