#include "encoding/encoded_frames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <utility>

namespace tarn {
namespace {

// Reads a decimal integer at the start of `text` and drops it from `text`.
std::optional<int64_t> takeNumber(std::string_view& text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || value < 0) return std::nullopt;
  text.remove_prefix(static_cast<size_t>(end - text.data()));
  return value;
}

bool takePrefix(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

}  // namespace

std::optional<EncodedFrames> parseEncodedFramesLine(std::string_view line) {
  EncodedFrames result;
  if (!takePrefix(line, "ffmpeg_III: encoded ")) return std::nullopt;
  const auto frames = takeNumber(line);
  if (!frames) return std::nullopt;
  result.frames = *frames;
  if (takePrefix(line, " of ")) {
    const auto total = takeNumber(line);
    if (!total) return std::nullopt;
    result.total = *total;
  }
  if (!takePrefix(line, " frames")) return std::nullopt;
  if (takePrefix(line, " (")) {
    const std::string rest(line);
    char* end = nullptr;
    const double rate = std::strtod(rest.c_str(), &end);
    if (end != rest.c_str() && std::string_view(end).substr(0, 4) == " fps" && rate > 0) {
      result.framesPerSecond = rate;
    }
  }
  return result;
}

EncodedFramesFollower::~EncodedFramesFollower() {
  if (fd_ >= 0) ::close(fd_);
}

EncodedFramesFollower::EncodedFramesFollower(EncodedFramesFollower&& other) noexcept
    : report_(std::move(other.report_)),
      fd_(std::exchange(other.fd_, -1)),
      offset_(other.offset_),
      partial_(std::move(other.partial_)) {}

void EncodedFramesFollower::reopenIfReplaced() {
  struct stat named {};
  if (::stat(report_.c_str(), &named) != 0) return;  // removed: the open file is still read
  struct stat open {};
  if (fd_ >= 0 && ::fstat(fd_, &open) == 0 && open.st_dev == named.st_dev &&
      open.st_ino == named.st_ino) {
    return;
  }
  const int fd = ::open(report_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return;
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  offset_ = 0;
  partial_.clear();
}

std::optional<EncodedFrames> EncodedFramesFollower::poll() {
  reopenIfReplaced();
  if (fd_ < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  if (static_cast<uint64_t>(info.st_size) < offset_) {
    offset_ = 0;
    partial_.clear();
  }
  std::optional<EncodedFrames> newest;
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::pread(fd_, buffer, sizeof buffer, static_cast<off_t>(offset_));
    if (got <= 0) break;
    offset_ += static_cast<uint64_t>(got);
    for (ssize_t i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == '\n' || c == '\r') {
        if (auto parsed = parseEncodedFramesLine(partial_)) newest = parsed;
        partial_.clear();
      } else if (partial_.size() < 4096) {
        partial_ += c;
      }
    }
  }
  return newest;
}

}  // namespace tarn
