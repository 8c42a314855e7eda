#include "tool/tool_harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "support/test_support.h"

extern char** environ;

namespace tooltest {
namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<char*> argv_of(const std::vector<std::string>& args, std::string& tool) {
  std::vector<char*> argv{tool.data()};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

void put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t>& out, unsigned v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

}  // namespace

namespace {

// Runs the tool in `cwd` (the test's own when empty) with `env` added to the
// environment; standard input is the test's own, or `input` from a file or
// through a pipe.
enum class Feed { Inherit, File, Pipe };
ToolRun run_tool_in(const std::vector<std::string>& args, const std::string& cwd, Feed feed,
                    const std::vector<std::uint8_t>& input, const std::vector<std::string>& env) {
  TempDir capture;
  const std::string out_path = capture.path("stdout"), err_path = capture.path("stderr");
  const std::string in_path = capture.path("stdin");
  int fds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (feed == Feed::Pipe) {
    if (::pipe(fds) != 0) {
      ADD_FAILURE() << "no pipe";
      return {};
    }
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
  } else if (feed == Feed::File) {
    write_bytes(in_path, input);
    posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT, 0644);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::string tool = G729A_TOOL;
  auto argv = argv_of(args, tool);
  std::vector<char*> envp;
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (feed == Feed::Pipe) {
    close(fds[0]);
    // The tool may stop reading early; a closed pipe is not a test failure.
    signal(SIGPIPE, SIG_IGN);
    std::size_t done = 0;
    while (rc == 0 && done < input.size()) {
      const ssize_t n = write(fds[1], input.data() + done, input.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    close(fds[1]);
  }
  ToolRun run;
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << tool;
    return run;
  }
  run.status = wait_status(pid);
  run.out = slurp(out_path);
  run.err = slurp(err_path);
  return run;
}

}  // namespace

ToolRun run_tool(const std::vector<std::string>& args, const std::string& cwd) {
  return run_tool_in(args, cwd, Feed::Inherit, {}, {});
}

ToolRun run_tool_fed(const std::vector<std::string>& args, const std::vector<std::uint8_t>& input,
                     bool pipe, const std::vector<std::string>& env) {
  return run_tool_in(args, "", pipe ? Feed::Pipe : Feed::File, input, env);
}

pid_t spawn_tool(const std::vector<std::string>& args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string tool = G729A_TOOL;
  auto argv = argv_of(args, tool);
  pid_t pid = -1;
  if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int wait_status(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "g729a-tool-test.XXXXXX").string();
  if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
  dir_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

std::vector<std::string> TempDir::entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void write_bytes(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::vector<std::uint8_t> read_bytes(const std::string& path) {
  return testsupport::read_file(path);
}

bool exists(const std::string& path) {
  return fs::exists(path);
}

std::vector<std::uint8_t> pcm_bytes(std::span<const std::int16_t> pcm) {
  std::vector<std::uint8_t> out;
  for (auto s : pcm) put16(out, static_cast<std::uint16_t>(s));
  return out;
}

std::vector<std::int16_t> bytes_pcm(std::span<const std::uint8_t> bytes) {
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return pcm;
}

std::vector<std::uint8_t> wav_bytes(std::span<const std::int16_t> samples, int rate, int channels) {
  std::vector<std::uint8_t> out{'R', 'I', 'F', 'F'};
  const unsigned data = static_cast<unsigned>(samples.size() * 2);
  put32(out, 36 + data);
  for (char c : std::string("WAVEfmt ")) out.push_back(c);
  put32(out, 16);
  put16(out, 1);
  put16(out, channels);
  put32(out, rate);
  put32(out, rate * channels * 2);
  put16(out, channels * 2);
  put16(out, 16);
  for (char c : std::string("data")) out.push_back(c);
  put32(out, data);
  const auto pcm = pcm_bytes(samples);
  out.insert(out.end(), pcm.begin(), pcm.end());
  return out;
}

std::vector<std::int16_t> wav_samples(const std::vector<std::uint8_t>& wav) {
  auto u16 = [&](std::size_t at) { return static_cast<unsigned>(wav[at] | (wav[at + 1] << 8)); };
  auto u32 = [&](std::size_t at) { return u16(at) | (u16(at + 2) << 16); };
  EXPECT_GE(wav.size(), 44u);
  if (wav.size() < 44) return {};
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 12), "WAVE");
  // Walk the chunks: the writer may put others before "data".
  std::size_t at = 12;
  bool format_seen = false;
  while (at + 8 <= wav.size()) {
    const std::string id(wav.begin() + at, wav.begin() + at + 4);
    const std::size_t size = u32(at + 4);
    if (id == "fmt ") {
      EXPECT_EQ(u16(at + 8), 1u) << "PCM";
      EXPECT_EQ(u16(at + 10), 1u) << "mono";
      EXPECT_EQ(u32(at + 12), 8000u) << "8 kHz";
      EXPECT_EQ(u16(at + 22), 16u) << "16 bits";
      format_seen = true;
    } else if (id == "data") {
      EXPECT_TRUE(format_seen);
      EXPECT_EQ(at + 8 + size, wav.size()) << "data chunk must reach the end of the file";
      return bytes_pcm(std::span(wav).subspan(at + 8, std::min(size, wav.size() - at - 8)));
    }
    at += 8 + size + (size & 1);
  }
  ADD_FAILURE() << "no data chunk";
  return {};
}

std::vector<std::int16_t> speech_sample() {
  return testsupport::read_pcm(std::string(G729A_SOURCE_DIR) +
                               "/data/speech/librivox_austen_8k.raw");
}

std::vector<std::uint8_t> encode_here(std::span<const std::int16_t> pcm) {
  standin::Channel channel(testsupport::encoder_translator());
  std::vector<std::uint8_t> encoded;
  // 1000 samples at a time: the translator buffers at most 8000.
  for (std::size_t pos = 0; pos < pcm.size(); pos += 1000) {
    EXPECT_EQ(
        channel.feed_pcm(pcm.subspan(pos, std::min<std::size_t>(1000, pcm.size() - pos)), encoded),
        0);
  }
  return encoded;
}

std::vector<std::int16_t> decode_here(const std::vector<Piece>& pieces) {
  standin::Channel channel(testsupport::decoder_translator());
  std::vector<std::int16_t> decoded;
  using MissingFrameFn = int (*)(TranslatorInstance*);
  auto missing = [&](const char* name, int frames) {
    const auto fn = reinterpret_cast<MissingFrameFn>(testsupport::module().symbol(name));
    ASSERT_NE(fn, nullptr) << name;
    for (int i = 0; i < frames; ++i) {
      ASSERT_EQ(fn(channel.instance()), 0);
      channel.feed_payload({}, decoded);  // collects the frame
    }
  };
  for (const auto& piece : pieces) {
    if (piece.silence > 0) {
      decoded.insert(decoded.end(), static_cast<std::size_t>(piece.silence), 0);
    } else if (piece.erased > 0) {
      missing("g729tolin_erased", piece.erased);
    } else if (piece.untransmitted > 0) {
      missing("g729tolin_untransmitted", piece.untransmitted);
    } else {
      channel.feed_payload(piece.payload, decoded);
    }
  }
  return decoded;
}

std::vector<Piece> per_frame(const Bytes& frames) {
  std::vector<Piece> pieces;
  for (std::size_t pos = 0; pos + 10 <= frames.size(); pos += 10) {
    pieces.push_back({{frames.begin() + pos, frames.begin() + pos + 10}, 0});
  }
  return pieces;
}

std::vector<std::int16_t> padded(std::vector<std::int16_t> pcm) {
  pcm.resize((pcm.size() + 79) / 80 * 80, 0);
  return pcm;
}

Counts summary_counts(const std::string& text) {
  static const std::regex pattern(
      R"(\((\d+) speech, (\d+) SID, (\d+) silent, (\d+) erased(; (\d+) concealed, (\d+) comfort noise)?)"
      R"((; (\d+) late packets? used, (\d+) duplicates? dropped)?\))");
  Counts counts;
  std::smatch match;
  // The last summary in the text is the closing one.
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
       it != std::sregex_iterator(); ++it) {
    match = *it;
  }
  if (match.empty()) {
    ADD_FAILURE() << "no summary line in: " << text;
    return counts;
  }
  counts.speech = std::stol(match[1]);
  counts.sid = std::stol(match[2]);
  counts.silent = std::stol(match[3]);
  counts.erased = std::stol(match[4]);
  if (match[5].matched) {
    counts.concealed = std::stol(match[6]);
    counts.comfort_noise = std::stol(match[7]);
  }
  if (match[8].matched) {
    counts.late = std::stol(match[9]);
    counts.duplicates = std::stol(match[10]);
  }
  return counts;
}

}  // namespace tooltest
