#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "input_source.h"
#include "tool_error.h"

namespace g729tool {
namespace {

// Pending temporaries, readable from a signal handler: a slot's path is
// written before the slot is marked busy and never changes while busy.
constexpr int kSlots = 256;
constexpr std::size_t kPathMax = 4096;
std::array<std::atomic<int>, kSlots> slot_busy{};
char slot_path[kSlots][kPathMax];
mode_t file_mode = 0644;

// cp refuses a destination it may not write; a file without any write bit
// is refused even where the permissions would not stop us (root).
void refuse_write_protected(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (access(path.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0) {
    throw ToolError(kExitBadInput, path + ": cannot replace: write-protected file (mode " +
                                       std::to_string((st.st_mode >> 6) & 7) +
                                       std::to_string((st.st_mode >> 3) & 7) +
                                       std::to_string(st.st_mode & 7) + ")");
  }
}

// The descriptor a name stands for: "-", /dev/stdout, /dev/stderr,
// /dev/fd/N, /proc/self/fd/N; -1 for other names.
int descriptor_named(const std::string& path) {
  if (path == "-" || path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::string p(prefix);
    if (path.rfind(p, 0) != 0 || path.size() == p.size()) continue;
    const std::string number = path.substr(p.size());
    if (number.find_first_not_of("0123456789") != std::string::npos || number.size() > 6) {
      return -1;
    }
    return std::stoi(number);
  }
  return -1;
}

void on_interrupt(int signal_number) {
  for (int i = 0; i < kSlots; ++i) {
    if (slot_busy[i].load(std::memory_order_acquire) == 1) unlink(slot_path[i]);
  }
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

int claim_slot(const std::string& path) {
  if (path.size() >= kPathMax) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (slot_busy[i].compare_exchange_strong(expected, 2)) {
      std::memcpy(slot_path[i], path.c_str(), path.size() + 1);
      slot_busy[i].store(1, std::memory_order_release);
      return i;
    }
  }
  return -1;
}

void release_slot(int slot) {
  if (slot >= 0) slot_busy[slot].store(0, std::memory_order_release);
}

}  // namespace

void install_interrupt_cleanup() {
  const mode_t mask = umask(0);
  umask(mask);
  file_mode = 0666 & ~mask;
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  // A closed pipe on stdout or stderr ends the run like an interrupt.
  sigaction(SIGPIPE, &action, nullptr);
}

bool is_in_place_output(const std::string& path) {
  if (descriptor_named(path) >= 0) return true;
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  if (const int named = descriptor_named(path_); named >= 0) {
    in_place_ = true;
    fd_ = fcntl(named, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) {
      throw ToolError(kExitBadInput, path_ + ": cannot write: " + std::strerror(errno));
    }
    struct stat st {};
    const bool regular = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    rewrite_offset_ = regular ? lseek(fd_, 0, SEEK_CUR) : -1;
    return;
  }
  if (is_in_place_output(path_)) {
    // A device, FIFO or socket is written, never replaced.
    in_place_ = true;
    fd_ = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) {
      throw ToolError(kExitBadInput, path_ + ": cannot write: " + std::strerror(errno));
    }
    rewrite_offset_ = -1;
    return;
  }
  const std::filesystem::path target(path_);
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  if (std::filesystem::is_directory(target)) {
    throw ToolError(kExitBadInput, path_ + ": is a directory");
  }
  refuse_write_protected(path_);
  std::string pattern = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  // mkstemp fills in the name before it creates the file, so creating it in
  // the slot's own buffer leaves no moment where an interrupt would miss it.
  slot_ = claim_slot(pattern);
  char* name = slot_ >= 0 ? slot_path[slot_] : pattern.data();
  fd_ = mkstemp(name);
  if (fd_ < 0) {
    const int error = errno;
    release_slot(slot_);
    slot_ = -1;
    throw ToolError(kExitBadInput, path_ + ": cannot create output: " + std::strerror(error));
  }
  temp_path_ = name;
  fchmod(fd_, file_mode);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temp_path_.empty()) unlink(temp_path_.c_str());
  release_slot(slot_);
}

void OutputFile::write(std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw ToolError(kExitBadInput, path_ + ": write failed: " + std::strerror(errno));
    }
    done += static_cast<std::size_t>(n);
  }
}

void OutputFile::finish() {
  if (fd_ < 0) return;
  if (!in_place_ && fsync(fd_) != 0 && errno != EINVAL) {
    throw ToolError(kExitBadInput, path_ + ": write failed: " + std::strerror(errno));
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    throw ToolError(kExitBadInput, path_ + ": write failed: " + std::strerror(errno));
  }
}

void OutputFile::commit() {
  finish();
  if (in_place_) {
    committed_ = true;
    return;
  }
  if (std::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    throw ToolError(kExitBadInput, path_ + ": cannot replace: " + std::strerror(errno));
  }
  committed_ = true;
  release_slot(slot_);
  slot_ = -1;
}

void commit_all(const std::vector<OutputFile*>& files) {
  for (OutputFile* file : files) file->finish();
  for (OutputFile* file : files) file->commit();
}

namespace {

// The folder an output goes to must be there and writable; with
// `folder_created` the nearest folder that exists must be.
void check_destination_folder(const std::string& out, bool folder_created) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(out).parent_path();
  if (dir.empty()) dir = ".";
  std::error_code error;
  if (folder_created) {
    while (!fs::exists(dir, error)) {
      const fs::path up = dir.parent_path();
      if (up == dir) break;
      dir = up.empty() ? fs::path(".") : up;
    }
  }
  if (!fs::exists(dir, error)) {
    throw ToolError(kExitBadInput, out + ": the folder " + dir.string() + " does not exist");
  }
  if (!fs::is_directory(dir, error)) {
    throw ToolError(kExitBadInput, out + ": " + dir.string() + " is not a folder");
  }
  if (access(dir.c_str(), W_OK | X_OK) != 0) {
    throw ToolError(kExitBadInput,
                    out + ": cannot write in " + dir.string() + ": " + std::strerror(errno));
  }
}

}  // namespace

void check_outputs(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                   bool batch) {
  namespace fs = std::filesystem;
  struct Identity {
    std::string path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string name;  // absolute, for files that do not exist yet
  };
  auto identify = [](const std::string& path) {
    Identity id;
    id.path = path;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
      id.exists = true;
      id.device = st.st_dev;
      id.inode = st.st_ino;
    }
    std::error_code error;
    id.name = fs::weakly_canonical(fs::absolute(path, error), error).string();
    return id;
  };
  auto same = [](const Identity& a, const Identity& b) {
    if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
    return !a.exists && !b.exists && a.name == b.name;
  };
  std::vector<Identity> in_ids, out_ids;
  for (const auto& in : inputs) {
    if (!is_standard_stream(in)) in_ids.push_back(identify(in));
  }
  std::vector<std::string> in_place;
  for (const auto& out : outputs) {
    // Standard output, devices and pipes are streams, not files to compare.
    if (is_in_place_output(out)) {
      if (std::find(in_place.begin(), in_place.end(), out) != in_place.end()) {
        throw usage_error(out + ": named twice as an output");
      }
      in_place.push_back(out);
      continue;
    }
    if (fs::is_directory(out)) throw ToolError(kExitBadInput, out + ": is a directory");
    check_destination_folder(out, batch);
    // A batch converts its other files; a single output is refused up front.
    if (!batch) refuse_write_protected(out);
    const Identity id = identify(out);
    for (const auto& in : in_ids) {
      if (in.exists && same(in, id)) {
        throw usage_error(out + ": is the input " + in.path + "; choose another output name");
      }
    }
    for (const auto& other : out_ids) {
      if (same(other, id)) throw usage_error(out + ": named twice as an output");
    }
    out_ids.push_back(id);
  }
}

}  // namespace g729tool
