#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "input/audio_decoder.h"
#include "input/sound_output.h"

namespace tarn {

// A movie's sound during preview playback: a feeding thread decodes it and keeps a short queue of
// it in the sound output while the picture plays. The picture is the master clock: the sound
// waits when it runs ahead of `pictureClock` and skips when it falls behind.
// It is silent while paused or stopped, while muted, and while frames are delivered to a callback
// (a conversion, which runs faster than real time). Stop and seek drop what was queued; sound that
// starts again after a stop, mute or delivery begins where the picture is.
// Thread contract: the control calls may come from any thread; once one has returned, nothing from
// before it is queued any more.
class MovieSound {
 public:
  // `pictureClock` gives the picture's position (100-ns units); `tolerance` is how far the sound
  // may stray from it before it waits or skips.
  MovieSound(std::unique_ptr<AudioDecoder> decoder, SoundOutput& output,
             std::function<int64_t()> pictureClock, int64_t tolerance);
  ~MovieSound();
  MovieSound(const MovieSound&) = delete;
  MovieSound& operator=(const MovieSound&) = delete;

  void run();
  void pause();
  void stop();
  void seek(int64_t ticks);
  void setMuted(bool muted);
  void setDelivering(bool delivering);

 private:
  bool audible() const { return running_ && !muted_ && !delivering_; }
  void applyOutputState();  // under mutex_
  void restartAtPicture();  // under mutex_: drop the queue, start again where the picture is
  void feed();

  std::unique_ptr<AudioDecoder> decoder_;  // feeding thread only
  SoundOutput& output_;
  const std::function<int64_t()> pictureClock_;
  const int64_t tolerance_;

  std::mutex mutex_;  // guards everything below and every call on output_ from this class
  std::condition_variable wake_;
  bool quit_ = false;
  bool running_ = false;
  bool muted_ = false;
  bool delivering_ = false;
  bool ended_ = false;                // the decoder has no more sound
  bool havePiece_ = false;            // the decoder's current piece still waits to be queued
  std::optional<int64_t> restartAt_;  // where the sound starts again; nullopt: where the picture is
  bool restart_ = false;
  std::thread thread_;
};

}  // namespace tarn
