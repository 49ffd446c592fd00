#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ffmpeg_III/legacy_command.h"

namespace tarn::tool {

// ffmpeg's own progress report ("-progress pipe:1": blocks of key=value lines, each ended by a
// "progress=continue" or "progress=end" line) turned into one line of the tool per block, so the
// converter can follow the encode in the tool's standard error:
//   "ffmpeg_III: encoded 120 of 250 frames (45.20 fps)"
// ("of T" only when the frame count of the output is known, "(F fps)" only when ffmpeg gave one).
class ProgressRelay {
 public:
  ProgressRelay(std::optional<int64_t> expectedFrames, std::function<void(const std::string&)> say);
  // Takes ffmpeg's progress text in whatever pieces it arrives.
  void take(std::string_view text);

 private:
  void takeLine(std::string_view line);

  std::optional<int64_t> expectedFrames_;
  std::function<void(const std::string&)> say_;
  std::string partial_;
  int64_t frames_ = -1;
  double framesPerSecond_ = 0;
};

// The tool's progress line for `frames` encoded.
std::string encodedFramesLine(int64_t frames, std::optional<int64_t> total, double framesPerSecond);

// The arguments with ffmpeg's progress report on its standard output.
std::vector<std::string> withProgressReport(std::vector<std::string> arguments);

// How many frames a main encode writes: its duration ("-t", hh:mm:ss.mmm or seconds) times the
// output rate ("-r" after the inputs, else the input rate). Empty when either is unknown.
std::optional<int64_t> expectedOutputFrames(const LegacyCommand& command);

}  // namespace tarn::tool
