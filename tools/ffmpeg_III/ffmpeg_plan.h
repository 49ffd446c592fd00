#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ffmpeg_III/container_profile.h"
#include "ffmpeg_III/frame_files.h"
#include "ffmpeg_III/legacy_command.h"

namespace tarn::tool {

enum class RunKind {
  Probe,       // "-i FILE" alone: ffmpeg describes the input on standard error
  MainEncode,  // numbered frame files (and temp.wav) into the output movie
  Transcode,   // one movie or its sound into another file (audio extraction, conversion)
};

// The ffmpeg run that stands for one legacy command line.
struct FfmpegPlan {
  RunKind kind = RunKind::Probe;
  ContainerProfile profile;
  // The arguments after the program name.
  std::vector<std::string> arguments;
  // Set when the tool itself reads the frame files, converts them to 4:2:0 at `rawPictureSize`
  // and feeds them on ffmpeg's standard input.
  std::optional<FrameSequence> rawFrames;
  FrameFormat rawPictureSize;
  // Where in `arguments` a main encode names its sound file.
  std::optional<size_t> soundArgument;
};

// `frames` is the frame sequence found on disk for a main encode; without it ffmpeg reads the
// pattern itself.
FfmpegPlan planFfmpegRun(const LegacyCommand& command, const std::optional<FrameSequence>& frames);

// The frame size the encoder writes: "-s" when given, else the frame size, each side made even
// (4:2:0 needs even sides) by scaling one pixel up. Empty when neither is known.
std::optional<FrameFormat> encodedFrameSize(const LegacyOutputOptions& options,
                                            const std::optional<FrameFormat>& frames);

// The input frame rate of a main encode: the "-r" before the frames, 25 when absent (as ffmpeg's
// image sequence reader), with leading zeros dropped ("07.50" -> "7.50") and the NTSC rates
// exact ("29.97" -> "30000/1001").
std::string inputFrameRate(const LegacyInput& frames);

}  // namespace tarn::tool
