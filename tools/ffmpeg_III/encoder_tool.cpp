#include "ffmpeg_III/encoder_tool.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "ffmpeg_III/ffmpeg_messages.h"
#include "ffmpeg_III/ffmpeg_plan.h"
#include "ffmpeg_III/ffmpeg_runner.h"
#include "ffmpeg_III/frame_arrival.h"
#include "ffmpeg_III/frame_feeder.h"
#include "ffmpeg_III/output_check.h"
#include "ffmpeg_III/pending_sound.h"
#include "ffmpeg_III/progress_relay.h"
#include "ffmpeg_III/signal_cleanup.h"
#include "ffmpeg_III/spherical_step.h"
#include "ffmpeg_III/staged_output.h"

namespace tarn::tool {
namespace {

namespace fs = std::filesystem;

constexpr int kFailed = 1;
constexpr int kNotInstalled = 127;

void say(const std::string& line) {
  std::fprintf(stderr, "ffmpeg_III: %s\n", line.c_str());
  std::fflush(stderr);
}

// The one line that says why the run made no output; always the tool's last line.
int fail(const std::string& reason, int status) {
  say("error: " + reason);
  return status;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// ffmpeg from PATH.
std::optional<std::string> findFfmpeg(std::string* reason) {
  const auto ffmpeg = findOnPath("ffmpeg", std::getenv("PATH"));
  if (!ffmpeg) {
    *reason = "ffmpeg is not installed (it is not on the PATH; on Debian: apt-get install ffmpeg)";
  }
  return ffmpeg;
}

int runProbe(const FfmpegPlan& plan) {
  std::string reason;
  const auto ffmpeg = findFfmpeg(&reason);
  if (!ffmpeg) return fail(reason, kNotInstalled);
  std::string startError;
  const int status = runProgram(*ffmpeg, plan.arguments, {}, nullptr, &startError);
  if (status < 0) return fail(startError, kNotInstalled);
  return status;
}

// What a complete output of this run holds.
Expectation expectationFor(const LegacyCommand& command, const FfmpegPlan& plan,
                           int64_t framesGiven) {
  Expectation expected;
  if (plan.kind != RunKind::MainEncode) {
    if (plan.profile.container == Container::Wav) {
      expected.what = "the sound file";
      expected.sound = true;
    } else {
      expected.what = "the output movie";
    }
    return expected;
  }
  const auto& options = command.output;
  expected.what = "the output movie";
  const double inputRate = parseRate(inputFrameRate(command.inputs.front())).value_or(25);
  std::optional<double> outputRate;
  if (options.rate) outputRate = parseRate(*options.rate);
  std::optional<double> limit;
  if (options.duration) limit = parseDurationSeconds(*options.duration);
  expected.videoFrames = expectedVideoFrames(framesGiven, inputRate, outputRate, limit);
  expected.sound =
      command.inputs.size() > 1 && !audioCodecFor(plan.profile, options.audioCodec).empty();
  return expected;
}

}  // namespace

int runEncoderTool(const std::vector<std::string>& arguments) {
  // Stopped by a signal (the converter's Stop, Ctrl+C), the run leaves none of its files behind.
  SignalCleanup cleanup;
  const LegacyParseResult parsed = parseLegacyCommand(arguments);
  if (!parsed.command) return fail("cannot read the command line: " + parsed.error, kFailed);
  const LegacyCommand& command = *parsed.command;
  if (!command.outputPath) return runProbe(planFfmpegRun(command, std::nullopt));

  std::string reason;
  const auto ffmpeg = findFfmpeg(&reason);
  if (!ffmpeg) return fail(reason, kNotInstalled);

  const std::string& outputPath = *command.outputPath;
  std::error_code ignored;
  if (fs::is_directory(outputPath, ignored)) {
    return fail("the output " + outputPath + " is a folder", kFailed);
  }
  if (!command.overwrite && fs::exists(fs::symlink_status(outputPath, ignored))) {
    return fail("the output " + outputPath + " exists already (no -y given)", kFailed);
  }
  // The run writes a file of its own; the output path changes only when that file is complete.
  auto staged = StagedOutput::create(outputPath, &reason);
  if (!staged) return fail(reason, kFailed);
  cleanup.keep(staged->path());
  const std::string folder = outputFolderOf(outputPath);
  LegacyCommand stagedCommand = command;
  stagedCommand.outputPath = staged->path();
  stagedCommand.overwrite = true;  // the staged file is ours

  FrameArrival arrival = FrameArrival::fromEnvironment();
  std::optional<FrameSequence> frames;
  const std::string& firstInput = command.inputs.front().path;
  if (isFramePattern(firstInput)) {
    std::string why;
    frames = findFrameSequence(firstInput, &why);
    // Frames still being written: wait for the first one to be complete.
    while (!frames && arrival.pending()) {
      arrival.waitBriefly();
      frames = findFrameSequence(firstInput, &why);
    }
    if (arrival.abandoned()) return fail(kFramesAbandoned, kFailed);
    if (!frames) say("ffmpeg reads the frame files itself (" + why + ")");
  }
  FfmpegPlan plan = planFfmpegRun(stagedCommand, frames);
  // A sound file still being extracted reaches ffmpeg through a pipe, so that ffmpeg starts now.
  std::optional<PendingSound> sound;
  if (plan.rawFrames && plan.soundArgument && arrival.pending() && soundPendingFromEnvironment()) {
    sound.emplace(command.inputs[1].path);
    if (!sound->open(&reason)) return fail(reason, kFailed);
    plan.arguments[*plan.soundArgument] = PendingSound::kFfmpegInput;
  }
  say("running: " + commandLineText("ffmpeg", plan.arguments));

  FeedResult fed;
  SoundWait soundWait = SoundWait::arrived;
  std::function<bool(int)> feeder;
  if (plan.rawFrames) {
    const bool consume = consumeFramesFromEnvironment();
    feeder = [&plan, &fed, &arrival, &sound, &soundWait, consume](int fd) {
      if (sound) {
        sound->closeFfmpegEnd();
        // No frame is read, nor deleted, before the sound is there: without it this encode is
        // given up and the frames are encoded again.
        soundWait = sound->waitAndCopy(arrival);
        if (soundWait != SoundWait::arrived) return false;
      }
      fed = feedFrames(*plan.rawFrames, arrival, plan.rawPictureSize, fd, consume);
      return !fed.abandoned;
    };
  }
  FfmpegMessages messages;
  ReportLines lines;
  std::string startError;
  // A main encode reports the frames it has encoded, from ffmpeg's own progress report.
  std::function<void(std::string_view)> progress;
  std::optional<ProgressRelay> relay;
  std::vector<std::string> ffmpegArguments = plan.arguments;
  if (plan.kind == RunKind::MainEncode) {
    relay.emplace(expectedOutputFrames(command),
                  [&lines](const std::string& line) { lines.say(line); });
    progress = [&relay](std::string_view text) { relay->take(text); };
    ffmpegArguments = withProgressReport(std::move(ffmpegArguments));
  }
  const int status = runProgram(*ffmpeg, ffmpegArguments, feeder, &messages, &startError, progress,
                                &lines, sound ? sound->ffmpegEnd() : -1);
  if (status < 0) return fail(startError, kNotInstalled);
  if (soundWait == SoundWait::abandoned) return fail(kFramesAbandoned, kFailed);
  if (soundWait == SoundWait::missing) {
    return fail("the frames were complete, but the sound file " + command.inputs[1].path +
                    " was never made",
                kFailed);
  }
  if (sound) {
    if (const std::string error = sound->finish(); !error.empty()) return fail(error, kFailed);
  }
  if (plan.rawFrames) {
    say("frames read: " + std::to_string(fed.framesWritten) +
        (fed.stopReason.empty() ? std::string() : " (stopped: " + fed.stopReason + ")"));
  }
  // What ffmpeg wrote before it was ended is a cut movie, not an output.
  if (fed.abandoned) return fail(kFramesAbandoned, kFailed);

  // ffmpeg's lines name the staged file; the user knows the output's name.
  const auto userWords = [&staged, &outputPath](std::string text) {
    replaceAll(text, "file:" + staged->path(), outputPath);
    replaceAll(text, staged->path(), outputPath);
    return text;
  };
  if (messages.spaceRanOut()) return fail("no space left in " + folder, status != 0 ? status : 1);
  if (status != 0 || messages.writeFailed()) {
    if (messages.writeFailed() && folderIsFull(folder)) {
      return fail("no space left in " + folder, status != 0 ? status : kFailed);
    }
    const std::string said = messages.reason();
    return fail(said.empty() ? "ffmpeg failed with exit status " + std::to_string(status)
                             : "ffmpeg failed: " + userWords(said),
                status != 0 ? status : kFailed);
  }

  int64_t framesGiven = fed.framesWritten;
  if (plan.kind == RunKind::MainEncode && !plan.rawFrames) {
    framesGiven = countSequenceFiles(firstInput);
  }
  const Expectation expected = expectationFor(command, plan, framesGiven);
  const std::string incomplete = whyIncomplete(readBack(staged->path()), expected);
  if (!incomplete.empty()) {
    if (folderIsFull(folder))
      return fail("no space left in " + folder + "; " + incomplete, kFailed);
    return fail(incomplete, kFailed);
  }

  if (plan.kind == RunKind::MainEncode) {
    std::optional<FrameFormat> frameSize;
    if (frames) frameSize = frames->format;
    // Tagged on the staged file, before it is put in place; a failure leaves the movie as it is.
    const SphericalOutcome spherical =
        applySphericalMetadata(plan.profile, frameSize, staged->path());
    say(spherical.line);
    if (spherical.failed) say("warning: " + spherical.line);
  }
  const bool committed = staged->commit(&reason);
  cleanup.forget(staged->path());
  if (!committed) return fail(reason, kFailed);
  return 0;
}

}  // namespace tarn::tool
