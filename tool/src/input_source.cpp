#include "input_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tool_error.h"

namespace g729tool {
namespace {

// Enough for any header a reader goes back over (WAV chunks, FLAC metadata).
constexpr std::size_t kKept = 1 << 20;

}  // namespace

InputSource::InputSource(const std::string& path)
    : label_(is_standard_stream(path) ? kStandardInputLabel : path) {
  if (is_standard_stream(path)) {
    fd_ = STDIN_FILENO;
  } else {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw bad_input(path, std::string("cannot open: ") + std::strerror(errno));
    own_fd_ = true;
  }
  struct stat st {};
  if (fstat(fd_, &st) != 0) {
    throw bad_input(label_, std::string("cannot read: ") + std::strerror(errno));
  }
  if (S_ISDIR(st.st_mode)) throw bad_input(label_, "is a directory, not a file");
  seekable_ = S_ISREG(st.st_mode) && lseek(fd_, 0, SEEK_CUR) >= 0;
  if (seekable_) {
    size_ = st.st_size;
    fd_position_ = lseek(fd_, 0, SEEK_CUR);
    position_ = fd_position_;
    keeping_ = false;
  }
}

InputSource::~InputSource() {
  if (own_fd_) close(fd_);
}

std::size_t InputSource::read_fd(std::uint8_t* data, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd_, data + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw bad_input(label_, std::string("read failed: ") + std::strerror(errno));
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (keeping_) {
    if (kept_.size() + done <= kKept) {
      kept_.insert(kept_.end(), data, data + done);
    } else {
      keeping_ = false;
    }
  }
  fd_position_ += static_cast<long long>(done);
  return done;
}

std::span<const std::uint8_t> InputSource::head(std::size_t count) {
  if (seekable_) {
    kept_.resize(count);
    const ssize_t n = pread(fd_, kept_.data(), count, 0);
    kept_.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return kept_;
  }
  if (kept_.size() < count && keeping_ && fd_position_ == static_cast<long long>(kept_.size())) {
    std::vector<std::uint8_t> more(count - kept_.size());
    read_fd(more.data(), more.size());
  }
  return std::span<const std::uint8_t>(kept_).first(std::min(count, kept_.size()));
}

std::size_t InputSource::read(std::span<std::uint8_t> data) {
  std::size_t done = 0;
  // Bytes already taken from a pipe and kept come first.
  if (!seekable_ && position_ < fd_position_) {
    const auto at = static_cast<std::size_t>(position_);
    const std::size_t n = std::min(data.size(), kept_.size() - at);
    std::memcpy(data.data(), kept_.data() + at, n);
    done = n;
  }
  done += read_fd(data.data() + done, data.size() - done);
  position_ += static_cast<long long>(done);
  return done;
}

bool InputSource::seek(long long offset) {
  if (offset < 0) return false;
  if (seekable_) {
    if (lseek(fd_, offset, SEEK_SET) < 0) return false;
    position_ = fd_position_ = offset;
    return true;
  }
  if (offset <= fd_position_) {
    if (offset != fd_position_ && !keeping_) return false;
    position_ = offset;
    return true;
  }
  position_ = fd_position_;
  std::vector<std::uint8_t> skip(4096);
  while (position_ < offset) {
    const auto want = static_cast<std::size_t>(std::min<long long>(4096, offset - position_));
    if (read(std::span(skip).first(want)) != want) return false;
  }
  return true;
}

std::FILE* InputSource::open_stream() {
  cookie_io_functions_t io{};
  io.read = [](void* cookie, char* data, std::size_t size) -> ssize_t {
    try {
      return static_cast<ssize_t>(static_cast<InputSource*>(cookie)->read(
          std::span(reinterpret_cast<std::uint8_t*>(data), size)));
    } catch (const ToolError&) {
      return -1;
    }
  };
  io.seek = [](void* cookie, off64_t* offset, int whence) -> int {
    auto* source = static_cast<InputSource*>(cookie);
    long long target = *offset;
    if (whence == SEEK_CUR) target += source->tell();
    if (whence == SEEK_END) {
      if (source->size() < 0) return -1;
      target += source->size();
    }
    if (!source->seek(target)) return -1;
    *offset = target;
    return 0;
  };
  return fopencookie(this, "rb", io);
}

}  // namespace g729tool
