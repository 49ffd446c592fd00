#include "ffmpeg_III/encoder_tool.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "ffmpeg_III/ffmpeg_plan.h"
#include "ffmpeg_III/ffmpeg_runner.h"
#include "ffmpeg_III/frame_arrival.h"
#include "ffmpeg_III/frame_feeder.h"
#include "ffmpeg_III/progress_relay.h"
#include "ffmpeg_III/spherical_step.h"

namespace tarn::tool {
namespace {

void say(const std::string& line) {
  std::fprintf(stderr, "ffmpeg_III: %s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace

int runEncoderTool(const std::vector<std::string>& arguments) {
  const LegacyParseResult parsed = parseLegacyCommand(arguments);
  if (!parsed.command) {
    say("cannot read the command line: " + parsed.error);
    return 1;
  }
  const LegacyCommand& command = *parsed.command;

  FrameArrival arrival = FrameArrival::fromEnvironment();
  std::optional<FrameSequence> frames;
  if (command.outputPath && isFramePattern(command.inputs.front().path)) {
    std::string why;
    frames = findFrameSequence(command.inputs.front().path, &why);
    // Frames still being written: wait for the first one to be complete.
    while (!frames && arrival.pending()) {
      arrival.waitBriefly();
      frames = findFrameSequence(command.inputs.front().path, &why);
    }
    if (arrival.abandoned()) {
      say(kFramesAbandoned);
      return 1;
    }
    if (!frames) say("ffmpeg reads the frame files itself (" + why + ")");
  }
  const FfmpegPlan plan = planFfmpegRun(command, frames);

  const auto ffmpeg = findOnPath("ffmpeg", std::getenv("PATH"));
  if (!ffmpeg) {
    say("cannot find ffmpeg on the PATH; install it (Debian: apt-get install ffmpeg)");
    return 127;
  }
  say("running: " + commandLineText("ffmpeg", plan.arguments));

  FeedResult fed;
  std::function<bool(int)> feeder;
  if (plan.rawFrames) {
    feeder = [&plan, &fed, &arrival](int fd) {
      fed = feedFrames(*plan.rawFrames, arrival, plan.rawPictureSize, fd);
      return !fed.abandoned;
    };
  }
  std::string startError;
  // A main encode reports the frames it has encoded, from ffmpeg's own progress report.
  std::function<void(std::string_view)> progress;
  std::optional<ProgressRelay> relay;
  std::vector<std::string> ffmpegArguments = plan.arguments;
  if (plan.kind == RunKind::MainEncode) {
    relay.emplace(expectedOutputFrames(command), say);
    progress = [&relay](std::string_view text) { relay->take(text); };
    ffmpegArguments = withProgressReport(std::move(ffmpegArguments));
  }
  const int status = runProgram(*ffmpeg, ffmpegArguments, feeder, &startError, progress);
  if (status < 0) {
    say(startError);
    return 127;
  }
  if (plan.rawFrames) {
    say("frames read: " + std::to_string(fed.framesWritten) +
        (fed.stopReason.empty() ? std::string() : " (stopped: " + fed.stopReason + ")"));
  }
  if (fed.abandoned) {
    // What ffmpeg wrote before it was ended is a cut movie, not an output.
    std::error_code ignored;
    std::filesystem::remove(*command.outputPath, ignored);
    return 1;
  }
  if (status == 0 && plan.kind == RunKind::MainEncode) {
    std::optional<FrameFormat> frameSize;
    if (frames) frameSize = frames->format;
    say(applySphericalMetadata(plan.profile, frameSize, *command.outputPath));
  }
  return status;
}

}  // namespace tarn::tool
