#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "conversion/conversion_run.h"
#include "shell/application.h"
#include "support/recording_frontend.h"
#include "support/test_media.h"

namespace tarn::test {

// A program folder of its own (PLUG-IN, TEMP, run log) with the application records, for running
// whole conversions in tests.
struct ConversionRig {
  ScratchDir dir;
  Application app;

  ConversionRig();
  // The encoder tool of this build, linked into the rig's PLUG-IN folder.
  void useRealEncoderTool();
  // Opens `movie` the way the frame source publishes a movie: size, duration, frame duration,
  // frame count, frame buffers and the open graph. False when it cannot be opened.
  bool openMovie(const std::filesystem::path& movie);
  ConversionOutcome convert(Frontend& frontend, const std::string& outputPath,
                            std::function<void()> framesWritten = {});
  std::filesystem::path tempFolder() const { return dir / "TEMP"; }
  std::string log() const;
};

// Generated test movies: W x H, `seconds` long at 25 fps, H.264 with AAC sound (or none).
std::filesystem::path stripMovie(int32_t width, int32_t height, int seconds, bool sound = true);

// ffprobe's answer for one field of the first stream of a kind ("v" or "a"), e.g. "width".
std::string probeField(const std::filesystem::path& movie, const std::string& stream,
                       const std::string& field);

// Checks `output` as a user would against the `input` it was converted from: every video frame
// (ffprobe's decoded count), the same length, and sound.
void expectWholeMovie(const std::filesystem::path& input, const std::filesystem::path& output);

}  // namespace tarn::test
