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

#include "ffmpeg_III/frame_converter.h"

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

// Reads the pixels of one frame file into `pixels`. Returns an error text, or empty on success;
// `missing` tells the end of the sequence apart from a bad file.
std::string readFrame(const std::string& name, const FrameFormat& expected,
                      std::vector<unsigned char>& pixels, bool& missing) {
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
  pixels.resize(expected.pixelBytes());
  if (!readFully(file.get(), pixels.data(), pixels.size())) {
    return name + ": truncated pixel data";
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

void readSequence(const FrameSequence& sequence, FrameConverter& converter, FrameQueue& queue) {
  std::vector<unsigned char> pixels;
  for (int64_t number = sequence.firstNumber;; ++number) {
    bool missing = false;
    std::string error =
        readFrame(frameFileName(sequence.pattern, number), sequence.format, pixels, missing);
    if (missing || !error.empty()) {
      queue.finish(std::move(error));
      return;
    }
    std::vector<unsigned char> picture = queue.spare();
    converter.convert(pixels.data(), picture);
    if (!queue.push(std::move(picture))) {
      queue.finish({});
      return;
    }
  }
}

}  // namespace

FeedResult feedFrames(const FrameSequence& sequence, FrameFormat pictureSize, int fd) {
  FeedResult result;
  FrameConverter converter(sequence.format, pictureSize);
  if (!converter.valid()) {
    result.stopReason = "cannot convert the frames to the encoded size";
    return result;
  }
  // Fewer, larger writes: a 1 MiB pipe instead of 64 KiB (best effort).
  ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
  FrameQueue queue;
  std::thread reader([&sequence, &converter, &queue] { readSequence(sequence, converter, queue); });
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
