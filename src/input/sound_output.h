#pragma once

#include <cstddef>
#include <cstdint>

namespace tarn {

// What a sound output plays: interleaved signed 16-bit samples in the machine's byte order.
struct PcmFormat {
  int32_t sampleRate = 48000;
  int32_t channels = 2;
};

// Where a movie's sound goes during preview playback (the machine's audio device). A queue of
// sample frames that the device plays at its own pace.
// Thread contract: every call may come from any thread; calls do not wait for the device.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;

  virtual PcmFormat format() const = 0;
  // Appends `frames` frames (format().channels samples each) to the queue.
  virtual void queue(const int16_t* samples, size_t frames) = 0;
  // Frames queued and not yet played.
  virtual size_t queuedFrames() const = 0;
  // Drops everything queued.
  virtual void clear() = 0;
  // true: the queue plays; false: it holds where it is (the device plays silence).
  virtual void setPlaying(bool playing) = 0;
};

}  // namespace tarn
