#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/settings.h"

namespace tarn {

// Everything the main encode's command line is built from, read when the run starts.
struct EncodeRequest {
  std::string exeFolder;         // program folder, no trailing separator
  std::string tempStreamFolder;  // frame files and temp.wav, no trailing separator
  std::string outputPath;
  int32_t frameWidth = 0;    // W of the frame files
  int32_t canvasHeight = 0;  // Hc of the frame files
  int64_t timePerFrame = 0;  // 100-ns units
  std::string durationText;  // hh:mm:ss.mmm
  OutputOptions output;
  int32_t bitRateIndex = 0;
  int32_t codecModeIndex = 0;
  bool soundPresent = false;  // temp.wav exists and is not empty
};

struct EncodeCommand {
  std::string command;  // empty when the output extension is not one of the eight
  // What the tool is started with (see ToolCommand); empty with `command`. The text is for the
  // run log only.
  std::vector<std::string> arguments;
  std::string extension;         // lower-cased, dot included; "" when there is none
  std::string encoderInputPath;  // tempStreamFolder + "/temp%06d.bmp"
};

// The extension of `path`: from its last "." after the last "/", "\" or ":", lower-cased.
std::string outputExtension(const std::string& path);

// " -s W'x H' " for resize indexes 1..5 (90%..50%, the factors as 32-bit floats), else "".
std::string sizePiece(int32_t resizeIndex, int32_t width, int32_t height);

// " -r 29.97 ": 10,000,000 / timePerFrame with at least two integer digits and two decimals;
// " -r 30 " when the frame duration is unknown.
std::string inputRatePiece(int64_t timePerFrame);

EncodeCommand encodeCommand(const EncodeRequest& request);

}  // namespace tarn
