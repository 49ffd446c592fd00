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

#include "common/uncached_file.h"
#include "ffmpeg_III/frame_arrival.h"
#include "ffmpeg_III/frame_converter.h"
#include "ffmpeg_III/frame_pipe.h"

namespace tarn::tool {
namespace {

constexpr size_t kFramesAhead = 3;

// Reads one frame file into `file` (headers, then pixels). Returns an error text, or empty on
// success; `missing` tells the end of the sequence apart from a bad file.
// `holes` carries the holes of the last file read into `file` and returns this file's.
std::string readFrame(const std::string& name, const FrameFormat& expected, AlignedBuffer& file,
                      std::vector<ByteRange>& holes, bool& missing) {
  missing = false;
  const size_t fileBytes = kFrameHeaderSize + expected.pixelBytes();
  // A file still being written is told by its size, without reading it.
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) {
    missing = errno == ENOENT;
    return missing ? std::string() : name + ": " + std::strerror(errno);
  }
  const auto size = static_cast<uint64_t>(info.st_size);
  if (size < kFrameHeaderSize) return name + ": shorter than a BMP header";
  if (size < fileBytes) return name + ": truncated pixel data";
  // A longer file is not one of this sequence's frames: its header check below says why.
  // The converter leaves black bands as holes: only the data is read.
  const UncachedRead read = readFileUncached(name, file, fileBytes + kDirectAlignment, &holes);
  if (read.error != 0) {
    missing = read.error == ENOENT;
    return missing ? std::string() : name + ": " + std::strerror(read.error);
  }
  if (read.size < kFrameHeaderSize) return name + ": shorter than a BMP header";
  const FrameHeaderCheck check = checkFrameHeader(file.data(), kFrameHeaderSize, read.size);
  if (!check.format) return name + ": " + check.error;
  if (!(*check.format == expected)) {
    return name + ": frame size differs from the first frame";
  }
  return {};
}

// Frames passed from the reader thread to the writer, at most kFramesAhead at a time.
class FrameQueue {
 public:
  // Returns false when the consumer has stopped.
  bool push(Picture frame) {
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
  std::optional<Picture> pop() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !queue_.empty() || finished_; });
    if (queue_.empty()) return std::nullopt;
    auto frame = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    return frame;
  }
  // Gives a frame buffer back for reuse.
  void recycle(Picture buffer) {
    std::lock_guard lock(mutex_);
    if (spare_.size() < kFramesAhead) spare_.push_back(std::move(buffer));
  }
  Picture spare() {
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
  std::deque<Picture> queue_;
  std::vector<Picture> spare_;
  bool finished_ = false;
  bool stopped_ = false;
  std::string reason_;
};

void readSequence(const FrameSequence& sequence, FrameArrival& arrival, FrameConverter& converter,
                  FrameQueue& queue, bool consume) {
  AlignedBuffer file(kFrameHeaderSize + sequence.format.pixelBytes());
  std::vector<ByteRange> holes;
  for (int64_t number = sequence.firstNumber;; ++number) {
    const std::string name = frameFileName(sequence.pattern, number);
    bool missing = false;
    arrival.check();
    std::string error = readFrame(name, sequence.format, file, holes, missing);
    // A frame still being written is read again once it may be complete.
    while ((missing || !error.empty()) && arrival.pending()) {
      arrival.waitBriefly();
      error = readFrame(name, sequence.format, file, holes, missing);
    }
    if (arrival.abandoned()) {
      queue.finish(kFramesAbandoned);
      return;
    }
    if (missing || !error.empty()) {
      queue.finish(std::move(error));
      return;
    }
    // Read in full: its place on disk goes to the frames still to come.
    if (consume) ::unlink(name.c_str());
    Picture picture = queue.spare();
    converter.convert(file.data() + kFrameHeaderSize, picture, rowsInHoles(holes, sequence.format));
    if (!queue.push(std::move(picture))) {
      queue.finish({});
      return;
    }
  }
}

}  // namespace

FeedResult feedFrames(const FrameSequence& sequence, FrameArrival& arrival, FrameFormat pictureSize,
                      int fd, bool consume) {
  FeedResult result;
  FrameConverter converter(sequence.format, pictureSize);
  if (!converter.valid()) {
    result.stopReason = "cannot convert the frames to the encoded size";
    return result;
  }
  // Fewer, larger writes: a 1 MiB pipe instead of 64 KiB (best effort).
  ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
  FrameQueue queue;
  std::thread reader([&sequence, &arrival, &converter, &queue, consume] {
    readSequence(sequence, arrival, converter, queue, consume);
  });
  FramePipe pipe(fd);
  bool encoderGone = false;
  while (auto frame = queue.pop()) {
    if (!pipe.send(std::move(*frame))) {
      encoderGone = true;
      break;
    }
    ++result.framesWritten;
    for (auto& read : pipe.takeRead()) queue.recycle(std::move(read));
  }
  queue.stop();
  reader.join();
  result.picturesInPipe = pipe.releaseUnread();
  result.stopReason = encoderGone ? "the encoder stopped reading frames" : queue.reason();
  result.abandoned = result.stopReason == kFramesAbandoned;
  return result;
}

}  // namespace tarn::tool
