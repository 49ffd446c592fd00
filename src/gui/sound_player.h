#pragma once

#include <cstdint>
#include <vector>

namespace tarn {

// Plays short in-memory waves through the machine's audio device (SDL2). Where no device can be
// opened (a display-only server, a CI machine) every play is silently nothing; nothing waits.
// Window thread only.
class SoundPlayer {
 public:
  SoundPlayer();
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Starts `wave` (a complete RIFF/WAVE file) and returns at once; a sound still playing is cut.
  void play(const std::vector<uint8_t>& wave);
  bool hasDevice() const { return device_ != 0; }

 private:
  uint32_t device_ = 0;
  bool initialised_ = false;
  int deviceRate_ = 0;
  uint16_t deviceFormat_ = 0;
  int deviceChannels_ = 0;
};

}  // namespace tarn
