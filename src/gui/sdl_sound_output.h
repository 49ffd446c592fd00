#pragma once

#include <cstdint>
#include <memory>

#include "input/sound_output.h"

namespace tarn {

// The machine's audio device (SDL2), opened for a playing movie's sound: 16-bit samples at the
// rate and channel count the device prefers, fed through SDL's own queue. Thread-safe as
// SoundOutput asks; SDL locks the device around each call.
class SdlSoundOutput final : public SoundOutput {
 public:
  // Null where no device can be opened (a display-only server, a CI machine): movies then play
  // without sound, and nothing is reported.
  static std::unique_ptr<SdlSoundOutput> open();
  ~SdlSoundOutput() override;
  SdlSoundOutput(const SdlSoundOutput&) = delete;
  SdlSoundOutput& operator=(const SdlSoundOutput&) = delete;

  PcmFormat format() const override { return format_; }
  void queue(const int16_t* samples, size_t frames) override;
  size_t queuedFrames() const override;
  void clear() override;
  void setPlaying(bool playing) override;

 private:
  SdlSoundOutput(uint32_t device, PcmFormat format) : device_(device), format_(format) {}

  const uint32_t device_;
  const PcmFormat format_;
};

}  // namespace tarn
