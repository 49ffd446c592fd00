#pragma once

#include <cstdint>
#include <string>

namespace tarn {

// The options kept between runs in "TarnConverter.ini" (read and written by shell/settings_file).
struct Settings {
  std::string tempStreamFolder;  // frame files and temp.wav; no trailing separator
  std::string movieFolder;       // starting folder of the movie open and save choosers
  float shiftFactor = 0.0f;      // vertical shift of the picture, fraction of the frame height
  int32_t bitRateIndex = 0;      // 0 Auto, 1..9 = 500k..5000k
  int32_t codecModeIndex = 0;    // 0 Auto, 1 Ultra Fast .. 5 Slower
  int32_t autoSave = 1;          // 1 = save at exit when a movie was opened
  friend bool operator==(const Settings&, const Settings&) = default;
};

// Output choices that start at their defaults every run (not saved).
struct OutputOptions {
  int32_t resizeIndex = 0;      // 0 Natural size, 1..5 = 90%..50%
  int32_t channelsIndex = 0;    // 0 stereo, 1 mono
  int32_t sampleRateIndex = 0;  // 0 Auto, 1 48000, 2 44100, 3 22050, 4 11025 Hz
  int32_t qualityValue = 0;     // 0 "Default", 1 "1:Max size" .. 21 "21:Min size"
};

}  // namespace tarn
