// The decode graph on the FFmpeg libraries: one streaming thread decodes, converts and delivers the
// frames; the control calls only change the state that thread follows.

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "common/zeroed_buffer.h"
#include "input/audio_decoder.h"
#include "input/bgra_converter.h"
#include "input/decode_graph.h"
#include "input/frame_size_limit.h"
#include "input/movie_sound.h"
#include "input/video_decoder.h"

namespace tarn {
namespace {

using Clock = std::chrono::steady_clock;
// How far the sound may stray from the picture: at least a quarter second, and two frames of a
// movie with fewer frames than that.
constexpr int64_t kSoundTolerance = 2'500'000;

enum class Mode { stopped, paused, running };

class FfmpegDecodeGraph final : public DecodeGraph {
 public:
  FfmpegDecodeGraph(std::unique_ptr<VideoDecoder> decoder, VideoFormat format,
                    std::array<ZeroedBuffer<uint8_t>, 2> frames, int64_t firstFrameTicks,
                    std::unique_ptr<AudioDecoder> sound, SoundOutput* soundOutput)
      : decoder_(std::move(decoder)),
        converter_(format.width, format.height),
        format_(format),
        duration_(decoder_->durationTicks()),
        hasSound_(decoder_->hasSound()),
        frames_(std::move(frames)) {
    // The first frame was decoded while opening: it is the current frame and waits for delivery.
    current_ = 0;
    hasCurrent_ = true;
    held_ = true;
    heldTicks_ = firstFrameTicks;
    if (sound && soundOutput) {
      sound_ = std::make_unique<MovieSound>(
          std::move(sound), *soundOutput, [this] { return position_.load(); },
          std::max(kSoundTolerance, 2 * format.averageTimePerFrame));
    }
    thread_ = std::thread([this] { stream(); });
  }

  ~FfmpegDecodeGraph() override {
    sound_.reset();  // its clock is this graph's position
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      ++generation_;
    }
    wake_.notify_all();
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // released from its own callback: the thread ends on its next look
    } else if (thread_.joinable()) {
      thread_.join();
    }
  }

  VideoFormat format() const override { return format_; }
  int64_t durationTicks() const override { return duration_; }
  int64_t positionTicks() const override { return position_.load(); }
  bool canStep() const override { return true; }
  bool hasSound() const override { return hasSound_; }

  void run() override {
    changeMode(Mode::running);
    if (sound_) sound_->run();
  }
  void pause() override {
    changeMode(Mode::paused);
    if (sound_) sound_->pause();
  }
  void stop() override {
    changeMode(Mode::stopped);
    if (sound_) sound_->stop();
  }

  void seek(int64_t ticks) override {
    int64_t target = 0;
    {
      std::unique_lock lock(mutex_);
      pendingSeek_ = clampToMovie(ticks);
      target = *pendingSeek_;
      ++generation_;
      events_.clear();
      readError_.clear();
      position_ = target;
    }
    wake_.notify_all();
    if (sound_) sound_->seek(target);
  }

  void setSampleCallback(SampleCallback* callback) override {
    // Frames handed to a callback come faster than real time: no sound can follow them.
    if (sound_) sound_->setDelivering(callback != nullptr);
    std::unique_lock lock(mutex_);
    callback_ = callback;
    ++generation_;
    wake_.notify_all();
    // A callback being replaced may still run; once this returns it is no longer called.
    waitForDelivery(lock);
  }

  void setMuted(bool muted) override {
    muted_ = muted ? 1 : 0;
    if (sound_) sound_->setMuted(muted);
  }
  void useDefaultClock() override {}

  std::optional<int32_t> takeEvent() override {
    std::lock_guard lock(mutex_);
    if (events_.empty()) return std::nullopt;
    const int32_t code = events_.front();
    events_.pop_front();
    return code;
  }

  std::string readError() const override {
    std::lock_guard lock(mutex_);
    return readError_;
  }

  bool waitingOnInput() const override { return decoder_->waitingOnFile(); }

  bool copyCurrentFrame(uint8_t* destination, size_t bytes) override {
    std::lock_guard lock(frameMutex_);
    if (!hasCurrent_ || !destination) return false;
    const ZeroedBuffer<uint8_t>& frame = frames_[current_];
    std::memcpy(destination, frame.data(), std::min(bytes, frame.size()));
    return true;
  }

 private:
  // Positions lie between 0 and the duration (when the movie tells its duration).
  int64_t clampToMovie(int64_t ticks) const {
    ticks = std::max<int64_t>(ticks, 0);
    return duration_ > 0 ? std::min(ticks, duration_) : ticks;
  }

  // Stop and pause wait for a delivery in progress, so that no callback runs once they return
  // (unless called from that callback itself, which must not wait for its own return).
  void changeMode(Mode mode) {
    std::unique_lock lock(mutex_);
    mode_ = mode;
    ++generation_;
    wake_.notify_all();
    if (mode != Mode::running) waitForDelivery(lock);
  }

  void waitForDelivery(std::unique_lock<std::mutex>& lock) {
    if (std::this_thread::get_id() == thread_.get_id()) return;
    delivered_.wait(lock, [this] { return !delivering_; });
  }

  bool hasWork() const {
    if (quit_ || pendingSeek_) return true;
    if (mode_ == Mode::stopped) return false;
    if (!held_ && !endOfStream_) return true;  // decode ahead (a paused graph shows the frame)
    if (mode_ != Mode::running) return false;
    return held_ || !completePosted_;
  }

  // Decodes the next frame into the spare buffer and makes it the current frame.
  void decodeNext() {
    if (const DecodeStatus status = decoder_->nextFrame(); status != DecodeStatus::frame) {
      std::lock_guard lock(mutex_);
      endOfStream_ = true;
      if (status == DecodeStatus::readError) readError_ = decoder_->readError();
      return;
    }
    const int spare = 1 - current_;
    if (!converter_.convert(decoder_->frame(), frames_[spare].data())) return;  // skip it
    {
      std::lock_guard lock(frameMutex_);
      current_ = spare;
      hasCurrent_ = true;
    }
    held_ = true;
    heldTicks_ = clampToMovie(decoder_->frameTicks());
  }

  // Without a callback, frames are shown at their own times: waits until the held frame is due.
  // Returns false when a control call came first.
  bool waitUntilDue(std::unique_lock<std::mutex>& lock, uint64_t generation) {
    if (pacingGeneration_ != generation) {
      pacingGeneration_ = generation;
      pacingStartTime_ = Clock::now();
      pacingStartTicks_ = heldTicks_;
    }
    const auto due =
        pacingStartTime_ +
        std::chrono::microseconds(std::max<int64_t>(heldTicks_ - pacingStartTicks_, 0) / 10);
    return !wake_.wait_until(lock, due, [&] { return generation_ != generation; });
  }

  void stream() {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return hasWork(); });
      if (quit_) return;
      if (pendingSeek_) {
        const int64_t target = *pendingSeek_;
        pendingSeek_.reset();
        lock.unlock();
        decoder_->seek(target);
        lock.lock();
        held_ = false;
        endOfStream_ = false;
        readError_.clear();
        completePosted_ = false;
        continue;
      }
      if (!held_ && !endOfStream_) {
        lock.unlock();
        decodeNext();
        lock.lock();
        continue;
      }
      if (mode_ != Mode::running) continue;
      if (!held_) {
        // The end of the movie (or of what could be read of it), after the last frame was
        // delivered.
        events_.push_back(readError_.empty() ? kEventComplete : kEventErrorAbort);
        completePosted_ = true;
        position_ = duration_;
        continue;
      }
      SampleCallback* callback = callback_;
      const uint64_t generation = generation_;
      if (!callback) {
        if (!waitUntilDue(lock, generation)) continue;
        position_ = heldTicks_;
        held_ = false;
        continue;
      }
      delivering_ = true;
      lock.unlock();
      const ZeroedBuffer<uint8_t>& frame = frames_[current_];
      callback->bufferCB(static_cast<double>(heldTicks_) / 1e7, frame.data(),
                         static_cast<int32_t>(frame.size()));
      lock.lock();
      delivering_ = false;
      delivered_.notify_all();
      if (!pendingSeek_) position_ = heldTicks_;  // a seek made meanwhile keeps its position
      held_ = false;
    }
  }

  std::unique_ptr<VideoDecoder> decoder_;  // streaming thread only
  BgraConverter converter_;                // streaming thread only
  const VideoFormat format_;
  const int64_t duration_;
  const bool hasSound_;

  // Two frame buffers: the current frame, readable by copyCurrentFrame, and the one being filled.
  std::mutex frameMutex_;
  std::array<ZeroedBuffer<uint8_t>, 2> frames_;
  int current_ = 0;
  bool hasCurrent_ = false;

  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;
  std::condition_variable delivered_;
  Mode mode_ = Mode::paused;
  bool quit_ = false;
  uint64_t generation_ = 0;  // changes with every control call
  std::optional<int64_t> pendingSeek_;
  SampleCallback* callback_ = nullptr;
  bool delivering_ = false;
  std::deque<int32_t> events_;
  // Streaming state (changed by the streaming thread, under mutex_).
  bool held_ = false;  // a decoded frame waits to be delivered
  int64_t heldTicks_ = 0;
  bool endOfStream_ = false;
  bool completePosted_ = false;
  std::string readError_;  // why reading stopped short of the end
  uint64_t pacingGeneration_ = ~uint64_t{0};
  Clock::time_point pacingStartTime_;
  int64_t pacingStartTicks_ = 0;

  std::atomic<int64_t> position_{0};
  std::atomic<int32_t> muted_{0};
  std::unique_ptr<MovieSound> sound_;  // null for a movie without sound or without an output
  std::thread thread_;
};

}  // namespace

OpenedGraph openDecodeGraph(const std::filesystem::path& path, SoundOutput* soundOutput) {
  OpenedGraph result;
  OpenedDecoder opened = VideoDecoder::open(path);
  if (!opened.decoder) {
    result.failure = opened.failure;
    return result;
  }
  std::unique_ptr<VideoDecoder> decoder = std::move(opened.decoder);

  // The connected format is the one of the first frame: a stream that gives none is refused.
  if (decoder->nextFrame() != DecodeStatus::frame) {
    result.failure = OpenFailure::noConnectedFormat;
    return result;
  }
  const AVFrame& first = decoder->frame();
  if (!frameSizeFits(first.width, first.height)) {
    result.failure = OpenFailure::outOfMemory;
    return result;
  }
  VideoFormat format;
  format.width = first.width;
  format.height = first.height;
  format.sampleSize = first.width * first.height * 4;
  format.averageTimePerFrame = decoder->averageTimePerFrame();
  format.rateNumerator = decoder->rateNumerator();
  format.rateDenominator = decoder->rateDenominator();

  std::array<ZeroedBuffer<uint8_t>, 2> frames;
  try {
    for (ZeroedBuffer<uint8_t>& frame : frames)
      frame = ZeroedBuffer<uint8_t>(static_cast<size_t>(format.sampleSize));
  } catch (const std::bad_alloc&) {
    result.failure = OpenFailure::outOfMemory;
    return result;
  }
  BgraConverter probe(format.width, format.height);
  if (!probe.convert(first, frames[0].data())) {
    result.failure = OpenFailure::noConnectedFormat;
    return result;
  }
  const int64_t firstTicks = std::max<int64_t>(decoder->frameTicks(), 0);
  // The sound is read through a handle of its own, so that neither stream waits for the other.
  std::unique_ptr<AudioDecoder> sound =
      soundOutput ? AudioDecoder::open(path, soundOutput->format()) : nullptr;
  result.graph = std::make_unique<FfmpegDecodeGraph>(std::move(decoder), format, std::move(frames),
                                                     firstTicks, std::move(sound), soundOutput);
  return result;
}

}  // namespace tarn
