#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "input/decode_graph.h"
#include "input/ffmpeg_handles.h"

namespace tarn {

enum class DecodeStatus {
  frame,
  endOfStream,
  readError,  // the file could not be read on (damaged, cut short, an I/O error): see readError()
};

class VideoDecoder;

struct OpenedDecoder {
  std::unique_ptr<VideoDecoder> decoder;
  OpenFailure failure = OpenFailure::none;
};

// The first video stream of a movie file, decoded frame by frame in presentation order on FFmpeg's
// own decoder threads. Not thread-safe: one thread at a time uses it.
class VideoDecoder {
 public:
  static OpenedDecoder open(const std::filesystem::path& path);

  // Decodes the next frame into frame(). Damaged packets are skipped; a read error ends the stream
  // with readError once the frames read before it have been handed out.
  DecodeStatus nextFrame();
  // Why the stream ended with readError.
  const std::string& readError() const { return readError_; }
  // True while the decoding thread waits for the file system (a slow disk, a network share).
  // Any thread.
  bool waitingOnFile() const { return reading_.load(std::memory_order_relaxed); }
  const AVFrame& frame() const { return *frame_; }
  // Presentation time of frame() in 100-ns units from the start of the stream.
  int64_t frameTicks() const { return frameTicks_; }

  // The next frame from nextFrame() is the one shown at `ticks`. False when the file cannot seek.
  bool seek(int64_t ticks);

  // Whether the file holds a sound stream besides this one.
  bool hasSound() const { return hasSound_; }

  int32_t codedWidth() const;
  int32_t codedHeight() const;
  int64_t durationTicks() const { return durationTicks_; }
  int64_t averageTimePerFrame() const { return averageTimePerFrame_; }
  // The stream's frame rate as a fraction (0/0 when it does not tell one).
  int32_t rateNumerator() const { return rate_.num; }
  int32_t rateDenominator() const { return rate_.den; }

 private:
  VideoDecoder() = default;
  int64_t ticksOf(int64_t timestamp) const;
  int64_t frameDurationTicks() const;
  // At the end of the file: whether the file ends before the movie it describes.
  bool fileCutShort() const;

  FormatContextPtr format_;
  CodecContextPtr codec_;
  FramePtr frame_;
  PacketPtr packet_;
  int streamIndex_ = -1;
  AVRational timeBase_{1, 1};
  int64_t startTimestamp_ = 0;
  int64_t durationTicks_ = 0;
  int64_t averageTimePerFrame_ = 0;
  int64_t frameTicks_ = 0;
  int64_t skipBeforeTicks_ = 0;  // after a seek: frames that end before this are dropped
  bool draining_ = false;
  std::string readError_;             // set when reading failed before the end of the file
  bool streamDurationKnown_ = false;  // the video stream itself tells its length
  int64_t lastPacketTicks_ = -1;      // the latest time of a video packet read
  AVRational rate_{0, 0};
  bool hasSound_ = false;
  std::atomic<bool> reading_{false};
};

}  // namespace tarn
