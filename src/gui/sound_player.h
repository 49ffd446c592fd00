#pragma once

#include <cstdint>
#include <vector>

namespace tarn {

class AudioDevice;

// Plays short in-memory waves (the click) through the program's audio device. Without a device
// (a display-only server, a CI machine) every play is silently nothing; nothing waits.
// Window thread only.
class SoundPlayer {
 public:
  explicit SoundPlayer(AudioDevice* device) : device_(device) {}

  // Starts `wave` (a complete RIFF/WAVE file) and returns at once; a sound still playing is cut.
  void play(const std::vector<uint8_t>& wave);
  bool hasDevice() const { return device_ != nullptr; }

 private:
  AudioDevice* device_;
};

}  // namespace tarn
