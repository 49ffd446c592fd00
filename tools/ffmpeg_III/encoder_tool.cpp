#include "ffmpeg_III/encoder_tool.h"

#include <cstdio>
#include <cstdlib>

#include "ffmpeg_III/ffmpeg_plan.h"
#include "ffmpeg_III/ffmpeg_runner.h"
#include "ffmpeg_III/frame_feeder.h"
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

  std::optional<FrameSequence> frames;
  if (command.outputPath && isFramePattern(command.inputs.front().path)) {
    std::string why;
    frames = findFrameSequence(command.inputs.front().path, &why);
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
  std::function<void(int)> feeder;
  if (plan.rawFrames) {
    feeder = [&plan, &fed](int fd) { fed = feedFrames(*plan.rawFrames, plan.rawPictureSize, fd); };
  }
  std::string startError;
  const int status = runProgram(*ffmpeg, plan.arguments, feeder, &startError);
  if (status < 0) {
    say(startError);
    return 127;
  }
  if (plan.rawFrames) {
    say("frames read: " + std::to_string(fed.framesWritten) +
        (fed.stopReason.empty() ? std::string() : " (stopped: " + fed.stopReason + ")"));
  }
  if (status == 0 && plan.kind == RunKind::MainEncode) {
    std::optional<FrameFormat> frameSize;
    if (frames) frameSize = frames->format;
    say(applySphericalMetadata(plan.profile, frameSize, *command.outputPath));
  }
  return status;
}

}  // namespace tarn::tool
