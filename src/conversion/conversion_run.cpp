#include "conversion/conversion_run.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

#include "common/folder_lock.h"
#include "common/free_space.h"
#include "common/frontend.h"
#include "common/rounding.h"
#include "common/run_log.h"
#include "common/settings.h"
#include "common/text.h"
#include "conversion/frame_file_writer.h"
#include "conversion/frame_geometry.h"
#include "conversion/movie_info.h"
#include "conversion/on_frame.h"
#include "conversion/output_path_check.h"
#include "conversion/timing_text.h"
#include "encoding/encode_ahead.h"
#include "encoding/encode_progress.h"
#include "encoding/encoder_runs.h"
#include "encoding/temp_cleanup.h"
#include "input/frame_callback.h"
#include "input/frame_source_state.h"

namespace tarn {
namespace fs = std::filesystem;
namespace {

constexpr const char* kMonitoring = "Error Monitoring";
constexpr int32_t kStripFull = 1012;
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGrey{128, 128, 128};

std::string localClockText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

bool outputWritten(const std::string& outputPath) {
  std::error_code error;
  const fs::path path(trimBlanks(outputPath));
  return fs::is_regular_file(path, error) && fs::file_size(path, error) > 0 && !error;
}

void deleteStaleOutput(const std::string& outputPath) {
  std::error_code ignored;
  const fs::path path(trimBlanks(outputPath));
  if (fs::is_regular_file(path, ignored)) fs::remove(path, ignored);
}

bool soundPresent(const std::string& tempFolder) {
  std::error_code error;
  const fs::path wav = fs::path(tempFolder) / "temp.wav";
  return fs::is_regular_file(wav, error) && fs::file_size(wav, error) > 0 && !error;
}

EncodeRequest encodeRequestFor(const ConversionContext& context, const std::string& outputPath) {
  EncodeRequest request;
  request.exeFolder = context.exeFolder;
  request.tempStreamFolder = context.settings.tempStreamFolder;
  request.outputPath = outputPath;
  request.frameWidth = context.geometry.frameWidth;
  request.canvasHeight = context.geometry.canvasHeight;
  request.timePerFrame = context.source.timePerFrame;
  request.durationText = formatDuration(context.source.durationSeconds);
  request.output = context.output;
  request.bitRateIndex = context.settings.bitRateIndex;
  request.codecModeIndex = context.settings.codecModeIndex;
  request.soundPresent = soundPresent(context.settings.tempStreamFolder);
  return request;
}

// A missing temporary folder is made; one that cannot be made stops the run before anything is
// deleted. Returns the message to show, empty when the folder is there.
std::string ensureTempFolder(const std::string& folder) {
  std::error_code error;
  if (trimBlanks(folder).empty()) return "The temporary folder is not set.";
  if (fs::is_directory(folder, error)) return {};
  fs::create_directories(folder, error);
  if (fs::is_directory(folder, error)) return {};
  return "The temporary folder " + folder + " cannot be created" +
         (error ? ": " + error.message() : std::string()) + ".";
}

// Refuses a run whose frame files cannot fit into the temporary folder's free space.
std::string checkFrameSpace(const ConversionContext& context) {
  const int32_t totalFrames = context.source.totalFrames;
  if (totalFrames <= 0) return {};  // unknown length: a failing write ends the run instead
  const uint64_t needed = frameFilesBytes(context.source.sourceWidth, totalFrames);
  const auto space = folderSpace(context.settings.tempStreamFolder);
  if (!space || needed <= space->available) return {};
  const auto gigabytes = [](uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    return std::string(text);
  };
  return "Not enough free space in the temporary folder " + context.settings.tempStreamFolder +
         ": the frame files of this movie need " + gigabytes(needed) + ", " +
         gigabytes(space->available) + " are free.";
}

void refuse(ConversionContext& context, const std::string& text) {
  context.frontend.showMessage(text, kMonitoring, MessageIcon::error, MessageButtons::ok);
}

void setStrip(ConversionContext& context, int32_t frames) {
  const int32_t total = context.source.totalFrames;
  int32_t width = 0;
  if (total > 0) {
    width = static_cast<int32_t>(std::min<int64_t>(
        roundHalfEven(static_cast<double>(kStripFull) * frames / total), kStripFull));
  }
  context.frontend.setProgressStrip(width, 12);
}

enum class WaitEnd { complete, stopped, writeFailed };

// Starts the main encode as soon as the sound is extracted and the first frame is on its way, so
// that it overlaps decoding; the export adopts it when the settings are still the same then.
void startEncodeAheadWhenReady(ConversionContext& context, const std::string& outputPath,
                               bool& started) {
  if (started || context.encoder.audioRunning != 0 || context.run.frameNumber < 1) return;
  started = true;
  startEncodeAhead(context.encoder, encodeRequestFor(context, outputPath));
}

// Polls the graph's end event and the frame counter, animating the window, until the movie has
// been decoded, Stop was pressed, a frame file failed, or no frame came for 13 ticks.
WaitEnd waitForFrames(ConversionContext& context, DecodeGraph& graph,
                      const std::string& outputPath) {
  Frontend& frontend = context.frontend;
  ConversionRunState& run = context.run;
  bool encodeAheadStarted = false;
  int turns = 0;
  int blink = 0;
  int32_t lastFrame = -1;
  int stall = 0;
  for (;;) {
    frontend.yield(10);
    if (run.conversionStopRequest == 1) return WaitEnd::stopped;
    if (run.frameWriteFailed == 1) return WaitEnd::writeFailed;
    startEncodeAheadWhenReady(context, outputPath, encodeAheadStarted);
    frontend.yield(10);
    if (++turns > 32) {
      turns = 0;
      blink ^= 1;
      if (blink == 0) {
        frontend.setOperationCaption(" Operation:", kWhite, kRed);
      } else {
        frontend.setOperationCaption(" Operation:", kRed, kGrey);
      }
      const int32_t frames = run.frameNumber;
      frontend.setInfoLabel(InfoLabel::operation, std::to_string(frames));
      setStrip(context, frames);
      if (frames != lastFrame) {
        lastFrame = frames;
        stall = 0;
      } else {
        ++stall;
      }
    }
    const std::optional<int32_t> event = graph.takeEvent();
    if ((event && *event == 1) || stall > 12) return WaitEnd::complete;
    frontend.yield(12);
  }
}

// The export and re-export sequence. Returns true when some encode wrote its output.
bool exportMovie(ConversionContext& context, std::string outputPath) {
  Frontend& frontend = context.frontend;
  bool anyWritten = false;
  for (;;) {
    context.log.writeLog("ConvertRectExport Begin");
    const EncodeRequest request = encodeRequestFor(context, outputPath);
    // An old file must not pass for this encode's output, unless it is the output an encode
    // started ahead is writing for this very command.
    if (!keepEncodeAheadFor(context.encoder, encodeCommand(request).command)) {
      deleteStaleOutput(outputPath);
    }
    showEncodeProgress(frontend, context.encoder, request, context.log);
    context.log.writeLog("ConvertRectExport End");
    // What a failed encode left behind can be cut short: it must not pass for a movie.
    if (!context.encoder.mainEncodeSucceeded) deleteStaleOutput(outputPath);
    const bool written = outputWritten(outputPath);
    anyWritten = anyWritten || written;
    const std::string again = "Do you want to save it with another compression value ?";
    const MessageAnswer answer =
        written ? frontend.showMessage("Movie converted successfully.\r\n" + again,
                                       "Successful termination", MessageIcon::information,
                                       MessageButtons::okCancel)
                : frontend.showMessage("Output movie was not created.\r\n" + again, kMonitoring,
                                       MessageIcon::error, MessageButtons::okCancel);
    // Ask until the user gives a path that is not the movie itself, or stops.
    for (;;) {
      if (answer != MessageAnswer::ok) return anyWritten;
      outputPath = frontend.showReencodeDialog(outputPath);
      if (trimNulsAndBlanks(outputPath).empty()) return anyWritten;
      if (!isSameFileAsMovie(outputPath, context.source.moviePath)) break;
      refuse(context, "Incorrect name of output file");
    }
  }
}

void endRun(ConversionContext& context) {
  Frontend& frontend = context.frontend;
  ConversionRunState& run = context.run;
  RunLog& log = context.log;
  log.writeLog("ConvertRectExport 1");
  cancelEncodeAhead(context.encoder);  // a run that never reached its export makes no movie
  clearMovieInfo(frontend, context.source);
  log.writeLog("ConvertRectExport 2");
  stopAudioExtraction(context.encoder);
  log.writeLog("ConvertRectExport 3");
  frontend.yield(300);
  {
    // No frame is worked on after this point, even if the graph still delivers one.
    std::lock_guard lock(run.frameMutex);
    run.acceptingFrames = false;
  }
  if (const auto graph = context.source.currentGraph()) graph->setSampleCallback(nullptr);
  initFrameCallback(context.source, {});
  context.source.streamState = 0;
  run.conversionStopRequest = 0;
  context.source.converting = 0;
  frontend.yield(300);
  std::this_thread::sleep_for(std::chrono::milliseconds(25));
  deleteTempFiles(context.settings.tempStreamFolder, 1, context.aviCopies,
                  [&](int ms) { frontend.yield(ms); });
  joinAudioExtraction(context.encoder);
  {
    std::lock_guard lock(context.geometry.buffersMutex);
    std::vector<uint32_t>().swap(context.geometry.frameCopy);
  }
  {
    std::lock_guard lock(run.frameMutex);
    run.frameWriter.reset();
    run.etaText = "00.00.00";
    run.elapsedText = "00.00.00";
  }
  log.writeLog("Convert Movie End " + localClockText());
  frontend.setInfoLabel(InfoLabel::operation, "");
  frontend.setOperationCaption(" Operation:", kWhite, Rgb{136, 136, 136});
}

}  // namespace

uint64_t frameFilesBytes(int32_t frameWidth, int32_t totalFrames) {
  if (frameWidth <= 0 || totalFrames <= 0) return 0;
  const uint64_t perFrame =
      54 + uint64_t{4} * static_cast<uint64_t>(frameWidth) *
               static_cast<uint64_t>(std::max(canvasHeightFor(frameWidth), 0));
  return perFrame * static_cast<uint64_t>(totalFrames);
}

ConversionOutcome convertMovie(ConversionContext& context, std::string outputPath) {
  Frontend& frontend = context.frontend;
  RunLog& log = context.log;
  ConversionRunState& run = context.run;
  FrameSourceState& source = context.source;
  const std::string tempFolder = context.settings.tempStreamFolder;

  {
    std::lock_guard lock(run.frameMutex);
    run.batchCount = 0;
    run.batchStartTime = run.runStartTime = ConversionRunState::Clock::now();
    run.etaText = "00.00.00";
    run.elapsedText = "00.00.00";
    run.frameWriteError.clear();
  }
  run.frameWriteFailed = 0;
  context.geometry.shiftRows = 0;
  // Taken before the wait below, so the streaming loop starts no new preview refresh that could
  // resize the buffers under prepareCanvas.
  source.converting = 1;
  const auto leave = [&](ConversionOutcome outcome) {
    source.converting = 0;
    return outcome;
  };
  for (int turn = 0; turn < 1000; ++turn) {
    frontend.yield(50);
    if (context.geometry.setupBusy != 1) break;
  }

  log.writeLog("Convert Movie Begin " + localClockText());
  log.writeLog("Output file " + outputPath);
  log.writeLog("Output Folder Free Space:");
  const fs::path outputFolder = fs::path(trimBlanks(outputPath)).parent_path();
  log.writeLog(freeSpaceLine(outputFolder.empty() ? "." : outputFolder.string()));

  if (trimBlanks(source.moviePath).empty()) {
    refuse(context, "Video file not found!");
    return leave(ConversionOutcome::refused);
  }
  if (isSameFileAsMovie(outputPath, source.moviePath)) {
    refuse(context, "Incorrect name of output file");
    return leave(ConversionOutcome::refused);
  }
  const std::shared_ptr<DecodeGraph> graph = source.currentGraph();
  if (!graph) return leave(ConversionOutcome::failed);
  source.positionTicks = 0;
  frontend.setProgressStrip(0, 12);
  graph->pause();
  log.writeLog("Set Stream to 0 position");
  frontend.yield(10);

  if (const std::string problem = ensureTempFolder(tempFolder); !problem.empty()) {
    refuse(context, problem);
    return leave(ConversionOutcome::failed);
  }
  // Held to the end of the run: no other run writes or deletes in this folder meanwhile.
  const FolderLock folderLock = FolderLock::tryLock(tempFolder);
  if (!folderLock.held()) {
    refuse(context, folderInUseMessage(tempFolder));
    return leave(ConversionOutcome::refused);
  }
  deleteTempFiles(tempFolder, 1, context.aviCopies, [&](int ms) { frontend.yield(ms); });
  if (const std::string problem = checkFrameSpace(context); !problem.empty()) {
    refuse(context, problem);
    return leave(ConversionOutcome::refused);
  }
  deleteStaleOutput(outputPath);
  frontend.yield(10);

  showConversionInfo(frontend, source, outputPath);
  log.writeLog("Set MovieDuration");

  FrameGeometry& geometry = context.geometry;
  {
    std::lock_guard lock(geometry.buffersMutex);
    geometry.frameWidth = source.sourceWidth;
    geometry.frameHeight = source.sourceHeight;
  }
  graph->setSampleCallback(&initFrameCallback(source, [&context] { onFrame(context); }));
  prepareCanvas(geometry, context.logo, context.settings.shiftFactor, context.tables, log);
  {
    std::lock_guard lock(run.frameMutex);
    run.frameWriter = std::make_shared<FrameFileWriter>(tempFolder, geometry.frameFileHeaders,
                                                        geometry.canvasImage());
  }
  startAudioExtraction(context.encoder,
                       audioExtractionCommand(context.exeFolder, source.moviePath, tempFolder));
  frontend.setOperationCaption("     RECORD", kGrey, kRed);
  log.writeLog("OS_DIRECT_ACCESS = " + std::to_string(source.movieOpen.load()));
  log.writeLog("OS_HRDWARE_SUPPORT = " + std::to_string(source.frameStepAvailable.load()));
  frontend.setInfoLabel(InfoLabel::doughnutSize, " " + std::to_string(geometry.frameWidth) + "x" +
                                                     std::to_string(geometry.frameHeight));
  source.positionTicks = 0;
  graph->setMuted(true);
  graph->useDefaultClock();

  {
    std::lock_guard lock(run.frameMutex);
    run.batchStartTime = run.runStartTime = ConversionRunState::Clock::now();
    run.acceptingFrames = true;
  }
  log.writeLog("Begin Convert Process");
  run.frameNumber = 0;
  graph->run();

  const WaitEnd waited = waitForFrames(context, *graph, outputPath);
  ConversionOutcome outcome = ConversionOutcome::stopped;
  if (waited != WaitEnd::complete) {
    graph->pause();  // no more frames for a run that ends here
  }
  {
    // From here on no frame is worked on: what was written is all the export gets.
    std::lock_guard lock(run.frameMutex);
    run.acceptingFrames = false;
    run.frameWriter->drain();
    if (std::string error = run.frameWriter->error(); !error.empty() && run.frameWriteFailed == 0) {
      run.frameWriteError = std::move(error);
      run.frameWriteFailed = 1;
    }
  }
  if (waited == WaitEnd::complete && run.frameWriteFailed == 0) {
    endEncodeAheadFrames(context.encoder);
  } else {
    cancelEncodeAhead(context.encoder);
  }
  if (run.frameWriteFailed == 1) {
    refuse(context, "A frame file could not be written (" + run.frameWriteError +
                        "). The conversion has stopped; no movie was made.");
    outcome = ConversionOutcome::failed;
  } else if (waited == WaitEnd::complete) {
    // The encode takes temp.wav as it finds it: let a running extraction finish first, or the
    // movie would lose its sound or get a cut one.
    while (context.encoder.audioRunning == 1) frontend.yield(20);
    if (context.framesWritten) context.framesWritten();
    outcome = exportMovie(context, outputPath) ? ConversionOutcome::converted
                                               : ConversionOutcome::notCreated;
  }
  endRun(context);
  return outcome;
}

}  // namespace tarn
