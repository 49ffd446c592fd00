#include "ffmpeg_III/ffmpeg_plan.h"

#include <cstdio>

#include "ffmpeg_III/ntsc_rate.h"
#include "ffmpeg_III/output_colour.h"

namespace tarn::tool {
namespace {

using Args = std::vector<std::string>;

void append(Args& args, std::initializer_list<std::string> more) {
  args.insert(args.end(), more);
}

void append(Args& args, const Args& more) {
  args.insert(args.end(), more.begin(), more.end());
}

std::optional<FrameFormat> parseSize(const std::string& text) {
  int width = 0;
  int height = 0;
  char extra = 0;
  if (std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &extra) != 2) return std::nullopt;
  if (width <= 0 || height <= 0) return std::nullopt;
  return FrameFormat{width, height};
}

// A file name as ffmpeg must read it: a relative name with a colon ("a:b.mp4", "concat:x")
// would otherwise name one of ffmpeg's protocols, and one beginning with "-" an option.
std::string fileName(const std::string& path) {
  if (!path.empty() && path[0] == '-') return "file:" + path;
  if (!path.empty() && path[0] != '/' && path.find(':') != std::string::npos) {
    return "file:" + path;
  }
  return path;
}

int evenUp(int value) {
  return value + (value & 1);
}

// Scaling and the 4:2:0 picture format every common player accepts, for frames whose size only
// ffmpeg knows. `colour` holds the scale filter's colour options (none: the input's own colours).
void appendPictureFormat(Args& args, const LegacyOutputOptions& options,
                         const std::string& colour = {}) {
  if (const auto target = encodedFrameSize(options, std::nullopt)) {
    append(args, {"-vf", "scale=" + std::to_string(target->width) + ":" +
                             std::to_string(target->height) + colour});
  } else {
    append(args, {"-vf", "scale=trunc((iw+1)/2)*2:trunc((ih+1)/2)*2" + colour});
  }
  append(args, {"-pix_fmt", "yuv420p"});
}

void appendAudio(Args& args, const ContainerProfile& profile, const LegacyOutputOptions& options) {
  const std::string codec = audioCodecFor(profile, options.audioCodec);
  if (codec.empty()) return;
  append(args, {"-c:a", codec});
  if (options.channels) append(args, {"-ac", *options.channels});
  if (const auto rate = sampleRateFor(codec, profile, options.sampleRate)) {
    append(args, {"-ar", *rate});
  }
}

void appendOutput(Args& args, const LegacyCommand& command, const ContainerProfile& profile) {
  if (profile.fastStart) append(args, {"-movflags", "+faststart"});
  if (!profile.muxer.empty()) append(args, {"-f", profile.muxer});
  append(args, {fileName(*command.outputPath)});
}

Args commonStart(const LegacyCommand& command) {
  Args args{"-hide_banner", "-nostdin"};
  // Without -y an existing output makes ffmpeg stop (it never asks: stdin is not read).
  if (command.overwrite) args.push_back("-y");
  return args;
}

FfmpegPlan planProbe(const LegacyCommand& command) {
  FfmpegPlan plan;
  plan.kind = RunKind::Probe;
  plan.arguments = {"-hide_banner"};
  for (const auto& input : command.inputs) append(plan.arguments, {"-i", fileName(input.path)});
  return plan;
}

FfmpegPlan planMainEncode(const LegacyCommand& command,
                          const std::optional<FrameSequence>& frames) {
  FfmpegPlan plan;
  plan.kind = RunKind::MainEncode;
  plan.profile = containerProfileFor(command);
  const auto& options = command.output;
  Args& args = plan.arguments;
  args = commonStart(command);
  const LegacyInput& frameInput = command.inputs.front();
  const std::string rate = inputFrameRate(frameInput);
  if (frames) {
    plan.rawFrames = frames;
    plan.rawPictureSize = *encodedFrameSize(options, frames->format);
    append(args, {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-video_size",
                  std::to_string(plan.rawPictureSize.width) + "x" +
                      std::to_string(plan.rawPictureSize.height),
                  "-framerate", rate, "-i", "-"});
  } else {
    append(args, {"-framerate", rate, "-i", fileName(frameInput.path)});
  }
  const bool withSound = command.inputs.size() > 1;
  for (size_t i = 1; i < command.inputs.size(); ++i) {
    append(args, {"-i", fileName(command.inputs[i].path)});
    if (i == 1) plan.soundArgument = args.size() - 1;
  }
  if (options.duration) append(args, {"-t", *options.duration});
  // A constant output rate for every container, as the legacy "-r" gave (WebM would otherwise
  // keep the input's frame times).
  if (options.rate) append(args, {"-r", exactFrameRate(*options.rate), "-fps_mode", "cfr"});
  if (plan.profile.video != VideoEncoder::None) {
    // Our own pictures are BT.709; the encoder gets its matrix and the labels that name it.
    const OutputColour colour = outputColourFor(plan.profile.video);
    if (frames) {
      if (const auto filter = fromBt709Filter(colour)) append(args, {"-vf", *filter});
      args.insert(args.end(), {"-pix_fmt", "yuv420p"});
    } else {
      appendPictureFormat(args, options, scaleColourOptions(colour));
    }
    append(args, colour.tags);
    append(args, videoEncoderArguments(plan.profile.video, options));
  }
  if (withSound) appendAudio(args, plan.profile, options);
  appendOutput(args, command, plan.profile);
  return plan;
}

FfmpegPlan planTranscode(const LegacyCommand& command) {
  FfmpegPlan plan;
  plan.kind = RunKind::Transcode;
  plan.profile = containerProfileFor(command);
  const auto& options = command.output;
  Args& args = plan.arguments;
  args = commonStart(command);
  for (const auto& input : command.inputs) {
    if (input.rate) append(args, {"-r", exactFrameRate(*input.rate)});
    append(args, {"-i", fileName(input.path)});
  }
  if (options.duration) append(args, {"-t", *options.duration});
  if (options.rate) append(args, {"-r", exactFrameRate(*options.rate)});
  if (plan.profile.container == Container::Wav) {
    args.push_back("-vn");
  } else if (plan.profile.video != VideoEncoder::None) {
    appendPictureFormat(args, options);
    append(args, videoEncoderArguments(plan.profile.video, options));
  } else if (options.size) {
    append(args, {"-s", *options.size});
  }
  appendAudio(args, plan.profile, options);
  appendOutput(args, command, plan.profile);
  return plan;
}

}  // namespace

std::optional<FrameFormat> encodedFrameSize(const LegacyOutputOptions& options,
                                            const std::optional<FrameFormat>& frames) {
  std::optional<FrameFormat> size = options.size ? parseSize(*options.size) : std::nullopt;
  if (!size) size = frames;
  if (!size) return std::nullopt;
  return FrameFormat{evenUp(size->width), evenUp(size->height)};
}

std::string inputFrameRate(const LegacyInput& frames) {
  if (!frames.rate || frames.rate->empty()) return "25";
  std::string rate = *frames.rate;
  while (rate.size() > 1 && rate[0] == '0' && rate[1] != '.') rate.erase(0, 1);
  return exactFrameRate(rate);
}

FfmpegPlan planFfmpegRun(const LegacyCommand& command, const std::optional<FrameSequence>& frames) {
  if (!command.outputPath) return planProbe(command);
  if (isFramePattern(command.inputs.front().path)) return planMainEncode(command, frames);
  return planTranscode(command);
}

}  // namespace tarn::tool
