#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

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

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  const std::filesystem::path target(path_);
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  if (std::filesystem::is_directory(target)) {
    throw ToolError(kExitBadInput, path_ + ": is a directory");
  }
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

void OutputFile::commit() {
  if (fsync(fd_) != 0 && errno != EINVAL) {
    throw ToolError(kExitBadInput, path_ + ": write failed: " + std::strerror(errno));
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    throw ToolError(kExitBadInput, path_ + ": write failed: " + std::strerror(errno));
  }
  if (std::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    throw ToolError(kExitBadInput, path_ + ": cannot replace: " + std::strerror(errno));
  }
  committed_ = true;
  release_slot(slot_);
  slot_ = -1;
}

}  // namespace g729tool
