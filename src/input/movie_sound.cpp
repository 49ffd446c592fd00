#include "input/movie_sound.h"

#include <chrono>

namespace tarn {
namespace {

// How much sound is kept queued ahead of the device: enough to ride over a slow decode, little
// enough that pause and stop are heard at once.
constexpr int64_t kQueueAheadMilliseconds = 200;
constexpr auto kPollInterval = std::chrono::milliseconds(10);

int64_t ticksOfFrames(size_t frames, int32_t rate) {
  return static_cast<int64_t>(frames) * 10'000'000 / rate;
}

}  // namespace

MovieSound::MovieSound(std::unique_ptr<AudioDecoder> decoder, SoundOutput& output,
                       std::function<int64_t()> pictureClock, int64_t tolerance)
    : decoder_(std::move(decoder)),
      output_(output),
      pictureClock_(std::move(pictureClock)),
      tolerance_(tolerance) {
  {
    std::lock_guard lock(mutex_);
    output_.clear();
    applyOutputState();
  }
  thread_ = std::thread([this] { feed(); });
}

MovieSound::~MovieSound() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
  std::lock_guard lock(mutex_);
  output_.setPlaying(false);
  output_.clear();
}

void MovieSound::run() {
  std::lock_guard lock(mutex_);
  running_ = true;
  applyOutputState();
  wake_.notify_all();
}

void MovieSound::pause() {
  std::lock_guard lock(mutex_);
  running_ = false;
  applyOutputState();  // the queue waits where it is
}

void MovieSound::stop() {
  std::lock_guard lock(mutex_);
  running_ = false;
  applyOutputState();
  restartAtPicture();
}

void MovieSound::seek(int64_t ticks) {
  std::lock_guard lock(mutex_);
  restartAtPicture();
  restartAt_ = ticks;
  wake_.notify_all();
}

void MovieSound::setMuted(bool muted) {
  std::lock_guard lock(mutex_);
  if (muted_ == muted) return;
  muted_ = muted;
  applyOutputState();
  if (muted) restartAtPicture();
  wake_.notify_all();
}

void MovieSound::setDelivering(bool delivering) {
  std::lock_guard lock(mutex_);
  if (delivering_ == delivering) return;
  delivering_ = delivering;
  applyOutputState();
  if (delivering) restartAtPicture();
  wake_.notify_all();
}

void MovieSound::applyOutputState() {
  output_.setPlaying(audible());
}

void MovieSound::restartAtPicture() {
  output_.clear();
  restart_ = true;
  restartAt_.reset();
  havePiece_ = false;
  ended_ = false;
}

void MovieSound::feed() {
  const PcmFormat format = decoder_->format();
  const size_t ahead = static_cast<size_t>(format.sampleRate * kQueueAheadMilliseconds / 1000);
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return quit_ || (audible() && (restart_ || !ended_)); });
    if (quit_) return;

    if (restart_) {
      restart_ = false;
      const int64_t target = restartAt_ ? *restartAt_ : pictureClock_();
      restartAt_.reset();
      lock.unlock();
      decoder_->seek(target);
      lock.lock();
      continue;
    }

    if (!havePiece_) {
      lock.unlock();
      const bool decoded = decoder_->nextChunk();
      lock.lock();
      if (restart_) continue;  // decoded from before a stop or seek: the restart replaces it
      if (!decoded) {
        ended_ = true;
      } else {
        havePiece_ = true;
      }
      continue;
    }

    const size_t queued = output_.queuedFrames();
    if (queued >= ahead) {
      wake_.wait_for(lock, kPollInterval);
      continue;
    }
    // What the device plays now, against the picture.
    const int64_t soundNow = decoder_->chunkTicks() - ticksOfFrames(queued, format.sampleRate);
    const int64_t picture = pictureClock_();
    if (soundNow > picture + tolerance_) {
      wake_.wait_for(lock, kPollInterval);  // ahead of the picture: let it catch up
      continue;
    }
    havePiece_ = false;
    if (soundNow < picture - tolerance_) continue;  // behind the picture: skip this piece
    output_.queue(decoder_->samples().data(), decoder_->frames());
  }
}

}  // namespace tarn
