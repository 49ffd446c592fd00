#include "ffmpeg_III/frame_feeder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tarn::tool {
namespace {

constexpr size_t kFramesAhead = 3;

// Closes a file descriptor on every path.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool readFully(int fd, unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t count = ::read(fd, data, size);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    data += count;
    size -= static_cast<size_t>(count);
  }
  return true;
}

bool writeFully(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t count = ::write(fd, data, size);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    data += count;
    size -= static_cast<size_t>(count);
  }
  return true;
}

// Reads one frame file into `picture` with its rows turned top-down. Returns an error text, or
// empty on success; `missing` tells the end of the sequence apart from a bad file.
std::string readFrame(const std::string& name, const FrameFormat& expected,
                      std::vector<unsigned char>& fileRows, std::vector<unsigned char>& picture,
                      bool& missing) {
  missing = false;
  FileHandle file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    missing = errno == ENOENT;
    return missing ? std::string() : name + ": " + std::strerror(errno);
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return name + ": " + std::strerror(errno);
  unsigned char header[kFrameHeaderSize];
  if (!readFully(file.get(), header, sizeof header)) return name + ": shorter than a BMP header";
  const FrameHeaderCheck check =
      checkFrameHeader(header, sizeof header, static_cast<uint64_t>(info.st_size));
  if (!check.format) return name + ": " + check.error;
  if (!(*check.format == expected)) {
    return name + ": frame size differs from the first frame";
  }
  const size_t rowBytes = static_cast<size_t>(expected.width) * 4;
  fileRows.resize(expected.pixelBytes());
  if (!readFully(file.get(), fileRows.data(), fileRows.size())) {
    return name + ": truncated pixel data";
  }
  picture.resize(fileRows.size());
  const auto rows = static_cast<size_t>(expected.height);
  for (size_t row = 0; row < rows; ++row) {
    std::memcpy(picture.data() + row * rowBytes, fileRows.data() + (rows - 1 - row) * rowBytes,
                rowBytes);
  }
  return {};
}

// Frames passed from the reader thread to the writer, at most kFramesAhead at a time.
class FrameQueue {
 public:
  // Returns false when the consumer has stopped.
  bool push(std::vector<unsigned char> frame) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kFramesAhead || stopped_; });
    if (stopped_) return false;
    queue_.push_back(std::move(frame));
    changed_.notify_all();
    return true;
  }
  void finish(std::string reason) {
    std::lock_guard lock(mutex_);
    finished_ = true;
    reason_ = std::move(reason);
    changed_.notify_all();
  }
  // Empty when the producer has finished and everything is taken.
  std::optional<std::vector<unsigned char>> pop() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !queue_.empty() || finished_; });
    if (queue_.empty()) return std::nullopt;
    auto frame = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    return frame;
  }
  // Gives a frame buffer back for reuse.
  void recycle(std::vector<unsigned char> buffer) {
    std::lock_guard lock(mutex_);
    if (spare_.size() < kFramesAhead) spare_.push_back(std::move(buffer));
  }
  std::vector<unsigned char> spare() {
    std::lock_guard lock(mutex_);
    if (spare_.empty()) return {};
    auto buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
  }
  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }
  std::string reason() {
    std::lock_guard lock(mutex_);
    return reason_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<unsigned char>> queue_;
  std::vector<std::vector<unsigned char>> spare_;
  bool finished_ = false;
  bool stopped_ = false;
  std::string reason_;
};

void readSequence(const FrameSequence& sequence, FrameQueue& queue) {
  std::vector<unsigned char> fileRows;
  for (int64_t number = sequence.firstNumber;; ++number) {
    std::vector<unsigned char> picture = queue.spare();
    bool missing = false;
    std::string error = readFrame(frameFileName(sequence.pattern, number), sequence.format,
                                  fileRows, picture, missing);
    if (missing || !error.empty()) {
      queue.finish(std::move(error));
      return;
    }
    if (!queue.push(std::move(picture))) {
      queue.finish({});
      return;
    }
  }
}

}  // namespace

FeedResult feedFrames(const FrameSequence& sequence, int fd) {
  FrameQueue queue;
  std::thread reader([&sequence, &queue] { readSequence(sequence, queue); });
  FeedResult result;
  bool encoderGone = false;
  while (auto frame = queue.pop()) {
    if (!writeFully(fd, frame->data(), frame->size())) {
      encoderGone = true;
      break;
    }
    ++result.framesWritten;
    queue.recycle(std::move(*frame));
  }
  queue.stop();
  reader.join();
  result.stopReason = encoderGone ? "the encoder stopped reading frames" : queue.reason();
  return result;
}

}  // namespace tarn::tool
