#include "encoding/encoder_runs.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "common/run_log.h"
#include "common/text.h"
#include "encoding/encode_ahead.h"
#include "encoding/encoded_frames.h"

namespace tarn {

ChildProcess startEncoderTool(const std::vector<std::string>& arguments,
                              ChildProcess::Options options) {
  if (arguments.empty()) return {};
  options.ownProcessGroup = true;  // stopping the tool stops its ffmpeg too
  return ChildProcess::start(arguments, options);
}

namespace {

// What the tool's report says, without the tool's prefix: its line about the spherical metadata
// ("spherical metadata written: ..." or "... not written: <why>"), its last "error:" line (why no
// movie was made) and every "warning:" line.
struct ToolVerdict {
  std::string spherical;
  std::string error;
  std::vector<std::string> warnings;
  std::optional<EncodedFrames> encoded;  // its last progress line
};

ToolVerdict toolVerdict(const std::filesystem::path& report) {
  ToolVerdict verdict;
  std::ifstream in(report);
  const std::string error = "ffmpeg_III: error: ";
  const std::string warning = "ffmpeg_III: warning: ";
  const std::string tool = "ffmpeg_III: ";
  // ffmpeg's own status line ends in a carriage return, so the tool's lines can follow one on the
  // same "\n" line: both characters end a line here.
  for (std::string text; std::getline(in, text);) {
    std::istringstream pieces(text);
    for (std::string line; std::getline(pieces, line, '\r');) {
      if (const size_t at = line.find(tool + "spherical metadata");
          verdict.spherical.empty() && at != std::string::npos) {
        verdict.spherical = line.substr(at + tool.size());
      }
      if (line.rfind(error, 0) == 0) verdict.error = line.substr(error.size());
      if (line.rfind(warning, 0) == 0) verdict.warnings.push_back(line.substr(warning.size()));
      if (auto encoded = parseEncodedFramesLine(line)) verdict.encoded = encoded;
    }
  }
  return verdict;
}

void joinIfRunning(std::thread& thread) {
  if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
}

}  // namespace

EncoderRuns::~EncoderRuns() {
  cancelEncodeAhead(*this);
  stopAudioExtraction(*this);
  joinIfRunning(audioThread);
  joinIfRunning(encodeThread);
}

int runEncoderTool(const std::vector<std::string>& arguments,
                   const std::optional<std::filesystem::path>& stderrFile) {
  ChildProcess::Options options;
  options.stderrFile = stderrFile;
  ChildProcess process = startEncoderTool(arguments, options);
  if (!process.started()) return -1;
  return process.wait();
}

ToolCommand audioExtractionCommand(const std::string& exeFolder, const std::string& moviePath,
                                   const std::string& tempStreamFolder) {
  return ToolCommandBuilder(exeFolder + "/PLUG-IN/ffmpeg_III.exe", false)
      .options(" -i ")
      .path(moviePath)
      .options(" -f wav -ar 44100 -ac 2 -acodec pcm_s16le -y ")
      .path(trimBlanks(tempStreamFolder) + "/temp.wav", toolPath(soundFilePath(tempStreamFolder)))
      .build();
}

std::string soundFilePath(const std::string& tempStreamFolder) {
  return tempStreamFolder + "/temp.wav";
}

ToolCommand containerConversionCommand(const std::string& exeFolder, const std::string& inputPath,
                                       const std::string& outputPath) {
  return ToolCommandBuilder(exeFolder + "/PLUG-IN/ffmpeg_III.exe", false)
      .options(" -i ")
      .path(inputPath)
      .options(" -sameq -ar 44100 -ac 2 -acodec pcm_s16le -y ")
      .path(outputPath)
      .build();
}

void runConversion(EncoderRuns& runs, const std::string& exeFolder) {
  ToolCommand command;
  {
    std::lock_guard lock(runs.mutex);
    command = containerConversionCommand(exeFolder, runs.encoderInputPath, runs.encoderOutputPath);
  }
  runEncoderTool(command.arguments);
  runs.encoderRunning = 0;
}

void runAudioExtraction(EncoderRuns& runs, const ToolCommand& command) {
  struct Done {
    EncoderRuns& runs;
    ~Done() { runs.audioRunning = 0; }
  } done{runs};
  // ffmpeg writes through whatever it finds under the sound file's name: an entry there (a link
  // to another file, an old sound) is removed first, never followed.
  if (!command.arguments.empty()) ::unlink(command.arguments.back().c_str());
  auto process = std::make_shared<ChildProcess>(startEncoderTool(command.arguments, {}));
  if (!process->started()) return;
  {
    std::lock_guard lock(runs.mutex);
    if (runs.audioStopRequested) {
      process->terminate();
    } else {
      runs.audioProcess = process;
    }
  }
  process->wait();
  std::lock_guard lock(runs.mutex);
  if (runs.audioProcess == process) runs.audioProcess.reset();
}

void startAudioExtraction(EncoderRuns& runs, const ToolCommand& command) {
  joinAudioExtraction(runs);  // a previous extraction has ended or been stopped by now
  std::lock_guard lock(runs.mutex);
  runs.audioStopRequested = false;
  runs.audioRunning = 1;
  runs.audioThread = std::thread([&runs, command] { runAudioExtraction(runs, command); });
}

void stopAudioExtraction(EncoderRuns& runs) {
  std::shared_ptr<ChildProcess> process;
  {
    std::lock_guard lock(runs.mutex);
    process = std::move(runs.audioProcess);
    runs.audioStopRequested = true;
  }
  // Only our own child, and only while it has not been reaped.
  if (process) process->terminate();
}

void joinAudioExtraction(EncoderRuns& runs) {
  std::thread thread;
  {
    std::lock_guard lock(runs.mutex);
    thread = std::move(runs.audioThread);
  }
  joinIfRunning(thread);
}

std::optional<std::filesystem::path> mainEncodeReportFile(EncoderRuns& runs,
                                                          const std::string& tempStreamFolder,
                                                          bool& own) {
  {
    std::lock_guard lock(runs.mutex);
    own = !runs.mainEncodeReport;
    if (!own) return runs.mainEncodeReport;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(tempStreamFolder, error)) return std::nullopt;
  return std::filesystem::path(tempStreamFolder) / "temp-encode-report.txt";
}

void runMainEncode(EncoderRuns& runs, const EncodeRequest& request, RunLog& log) {
  runs.encodeStarted = 1;
  runs.mainEncodeSucceeded = false;
  {
    std::lock_guard lock(runs.mutex);
    runs.lastEncoded.reset();
  }
  const EncodeCommand built = encodeCommand(request);
  {
    std::lock_guard lock(runs.mutex);
    runs.encoderInputPath = built.encoderInputPath;
    runs.encoderOutputPath = request.outputPath;
  }
  std::optional<EncoderRuns::Ahead> ahead = takeEncodeAheadFor(runs, built.command);
  log.writeLog("ConvertRectFFMPEG aVideoEXT " + built.extension);
  log.writeLog("FFMPEG : " + built.command);
  // The tool's report is read back for its line about the 360 marking of the output.
  bool ownReport = false;
  std::optional<std::filesystem::path> report;
  int status = -1;
  if (ahead) {
    report = ahead->report;
    ownReport = ahead->ownReport;
    // The export comes after the last frame file, unless the frames are made during it.
    if (!ahead->framesFollowExport) ahead->process->closeInput("1");
    status = ahead->process->wait();
  } else {
    report = mainEncodeReportFile(runs, request.tempStreamFolder, ownReport);
    if (!built.arguments.empty()) status = runEncoderTool(built.arguments, report);
  }
  runs.mainEncodeSucceeded = status == 0;
  ToolVerdict verdict;
  if (report) {
    verdict = toolVerdict(*report);
    if (!verdict.spherical.empty()) log.writeLog(verdict.spherical);
    std::error_code error;
    if (ownReport) std::filesystem::remove(*report, error);
  }
  if (status != 0 && verdict.error.empty()) {
    verdict.error = built.command.empty() ? "the output name selects no container"
                    : status < 0          ? "the encoder tool could not be started"
                                 : "the encoder tool ended with status " + std::to_string(status);
  }
  {
    std::lock_guard lock(runs.mutex);
    runs.mainEncodeProblem = status == 0 ? std::string() : verdict.error;
    runs.mainEncodeWarnings = status == 0 ? verdict.warnings : std::vector<std::string>();
    runs.lastEncoded = verdict.encoded;
  }
  runs.encoderRunning = 0;
}

}  // namespace tarn
