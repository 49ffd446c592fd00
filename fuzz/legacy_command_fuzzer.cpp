// The encoder tool's legacy option parser and its ffmpeg plan. The input is the argument vector,
// arguments separated by NUL bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "ffmpeg_III/ffmpeg_plan.h"
#include "ffmpeg_III/legacy_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back() += static_cast<char>(data[i]);
    }
  }
  const auto parsed = tarn::tool::parseLegacyCommand(arguments);
  if (!parsed.command) return 0;
  const auto& command = *parsed.command;
  tarn::tool::planFfmpegRun(command, std::nullopt);
  if (command.outputPath && tarn::tool::isFramePattern(command.inputs.front().path)) {
    tarn::tool::frameFileName(command.inputs.front().path, 7);
    tarn::tool::FrameSequence frames{command.inputs.front().path, 0, {640, 320}};
    tarn::tool::planFfmpegRun(command, frames);
  }
  return 0;
}
