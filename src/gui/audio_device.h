#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "input/sound_output.h"

namespace tarn {

// The machine's audio device (SDL2), opened once for the whole program: 16-bit samples at the
// rate and channel count the device prefers. Two sounds share it, mixed in SDL's audio callback:
// the playing movie's sound (a queue, the SoundOutput side) and short effects (the click).
// One device rather than one per sound: some drivers open a single device only.
// Thread contract: every call may come from any thread; none waits for the device.
class AudioDevice final : public SoundOutput {
 public:
  // Null where no device can be opened (a display-only server, a CI machine): the program is
  // then silent, and nothing is reported.
  static std::unique_ptr<AudioDevice> open();
  ~AudioDevice() override;
  AudioDevice(const AudioDevice&) = delete;
  AudioDevice& operator=(const AudioDevice&) = delete;

  // --- the movie's sound ---
  PcmFormat format() const override { return format_; }
  void queue(const int16_t* samples, size_t frames) override;
  size_t queuedFrames() const override;
  void clear() override;
  void setPlaying(bool playing) override;

  // Starts an effect in the device's format (format().channels interleaved samples per frame),
  // cutting one still playing.
  void playEffect(std::vector<int16_t> samples);

 private:
  AudioDevice() = default;
  static void callback(void* self, uint8_t* stream, int length);
  void mix(int16_t* out, size_t samples);

  uint32_t device_ = 0;
  PcmFormat format_;

  mutable std::mutex mutex_;  // guards everything below; the callback holds it while it mixes
  std::deque<int16_t> movie_;
  bool moviePlaying_ = false;
  std::vector<int16_t> effect_;
  size_t effectPosition_ = 0;
};

}  // namespace tarn
