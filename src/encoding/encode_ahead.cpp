#include "encoding/encode_ahead.h"

#include "encoding/encoder_runs.h"

namespace tarn {

bool startEncodeAhead(EncoderRuns& runs, const EncodeRequest& request,
                      EncodeAheadOptions aheadOptions) {
  const EncodeCommand built = encodeCommand(request);
  if (built.command.empty()) return false;
  cancelEncodeAhead(runs);
  EncoderRuns::Ahead ahead;
  ahead.command = built.command;
  ahead.report = mainEncodeReportFile(runs, request.tempStreamFolder, ahead.ownReport);

  ChildProcess::Options options;
  options.stderrFile = ahead.report;
  options.inputPipe = true;
  options.environment = {"FFMPEG_III_FRAMES_PENDING=1"};
  if (aheadOptions.consumeFrames) options.environment.push_back("FFMPEG_III_CONSUME_FRAMES=1");
  if (aheadOptions.soundPending) options.environment.push_back("FFMPEG_III_SOUND_PENDING=1");
  ahead.framesFollowExport = aheadOptions.framesFollowExport;
  auto process = std::make_shared<ChildProcess>(startEncoderTool(built.arguments, options));
  if (!process->started()) return false;
  ahead.process = std::move(process);
  std::lock_guard lock(runs.mutex);
  runs.encodeAhead = std::move(ahead);
  return true;
}

std::shared_ptr<ChildProcess> encodeAheadProcess(EncoderRuns& runs) {
  std::lock_guard lock(runs.mutex);
  return runs.encodeAhead ? runs.encodeAhead->process : nullptr;
}

void endFramesOf(ChildProcess& process, bool complete) {
  // The byte says "complete"; an input that ends without it tells the tool to make no movie.
  process.closeInput(complete ? "1" : "");
}

void endEncodeAheadFrames(EncoderRuns& runs) {
  std::lock_guard lock(runs.mutex);
  // The byte says "complete"; an input that ends without it tells the tool to make no movie.
  if (runs.encodeAhead) runs.encodeAhead->process->closeInput("1");
}

bool keepEncodeAheadFor(EncoderRuns& runs, const std::string& command) {
  {
    std::lock_guard lock(runs.mutex);
    if (!runs.encodeAhead) return false;
    if (!command.empty() && runs.encodeAhead->command == command) return true;
  }
  cancelEncodeAhead(runs);
  return false;
}

std::optional<EncoderRuns::Ahead> takeEncodeAheadFor(EncoderRuns& runs,
                                                     const std::string& command) {
  if (!keepEncodeAheadFor(runs, command)) return std::nullopt;
  std::lock_guard lock(runs.mutex);
  std::optional<EncoderRuns::Ahead> ahead = std::move(runs.encodeAhead);
  runs.encodeAhead.reset();
  return ahead;
}

void cancelEncodeAhead(EncoderRuns& runs) {
  std::optional<EncoderRuns::Ahead> ahead;
  {
    std::lock_guard lock(runs.mutex);
    ahead = std::move(runs.encodeAhead);
    runs.encodeAhead.reset();
  }
  if (!ahead) return;
  // Ending its input without the completion byte makes the tool end its ffmpeg and remove what
  // it wrote (killing the tool would leave its ffmpeg running on). The tool writes under a name
  // of its own until the movie is complete, so the output path is as it was before.
  ahead->process->closeInput();
  ahead->process->wait();
  std::error_code ignored;
  if (ahead->ownReport && ahead->report) std::filesystem::remove(*ahead->report, ignored);
}

}  // namespace tarn
