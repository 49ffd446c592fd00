#include "conversion/conversion_run.h"

#include <sys/stat.h>

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
#include "conversion/frame_budget.h"
#include "conversion/frame_file_writer.h"
#include "conversion/frame_geometry.h"
#include "conversion/movie_info.h"
#include "conversion/on_frame.h"
#include "conversion/output_path_check.h"
#include "conversion/timing_text.h"
#include "encoding/encode_ahead.h"
#include "encoding/encode_precheck.h"
#include "encoding/encode_progress.h"
#include "encoding/encoder_runs.h"
#include "encoding/temp_cleanup.h"
#include "input/frame_callback.h"
#include "input/frame_rate.h"
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

// Which file stands at a path, so that a file that was there before an encode never passes for
// its output.
struct FileIdentity {
  bool present = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modifiedNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity identityOf(const std::string& path) {
  struct stat info {};
  if (::stat(trimBlanks(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  return FileIdentity{true, info.st_dev, info.st_ino, info.st_size,
                      int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec};
}

// The encode wrote a new, non-empty file at the output path.
bool outputWritten(const std::string& outputPath, const FileIdentity& before) {
  const FileIdentity now = identityOf(outputPath);
  return now.present && now.size > 0 && !(now == before);
}

bool soundPresent(const std::string& tempFolder) {
  std::error_code error;
  const fs::path wav = fs::path(tempFolder) / "temp.wav";
  return fs::is_regular_file(wav, error) && fs::file_size(wav, error) > 0 && !error;
}

// What a run works with from its first to its last step, whatever the settings say meanwhile.
struct RunFacts {
  std::string tempFolder;
  // The length the encode is told: the movie's own, or, for a stream that does not tell its
  // length or could not be read to its end, the length of the frames made.
  double encodeSeconds = 0.0;
  // Whether the frame files are consumed by the encoder (and how many may be on disk at once).
  FrameBudget budget;
  // Frames the run made, for a re-export of a movie read only in part; -1 for the whole movie.
  int32_t frameLimit = -1;
  // The movie file holds a sound stream: its extraction is expected to make temp.wav.
  bool movieHasSound = false;
};

// How far the run's encode-ahead has got.
struct EncodeAheadState {
  bool started = false;
  // Started while temp.wav was being extracted, and the extraction has not ended since.
  bool soundPending = false;
};

EncodeRequest encodeRequestFor(const ConversionContext& context, const RunFacts& facts,
                               const std::string& outputPath) {
  EncodeRequest request;
  request.exeFolder = context.exeFolder;
  request.tempStreamFolder = facts.tempFolder;
  request.outputPath = outputPath;
  request.frameWidth = context.geometry.frameWidth;
  request.canvasHeight = context.geometry.canvasHeight;
  request.timePerFrame = context.source.timePerFrame;
  request.durationText = formatDuration(facts.encodeSeconds);
  request.output = context.output;
  request.bitRateIndex = context.settings.bitRateIndex;
  request.codecModeIndex = context.settings.codecModeIndex;
  request.soundPresent = soundPresent(facts.tempFolder);
  return request;
}

// The length of the first `frames` frames, in seconds.
double framesSeconds(const FrameSourceState& source, int32_t frames) {
  const ExactRate rate{source.rateNumerator, source.rateDenominator};
  return static_cast<double>(ticksOfFrameSlot(frames, source.timePerFrame, rate)) / 1e7;
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

// Whether this run's frame files fit into the temporary folder or are consumed by the encoder.
FrameBudget frameBudgetFor(const ConversionContext& context, const std::string& tempFolder) {
  const FrameSourceState& source = context.source;
  FrameBudgetInput input;
  input.frameFileBytes = frameFilesBytes(source.sourceWidth, 1);
  input.totalFrames = source.totalFrames;
  input.durationSeconds = source.durationSeconds;
  input.lengthKnown = source.durationTicks > 0;
  input.space = context.run.tempFolderSpace ? context.run.tempFolderSpace(tempFolder)
                                            : folderSpace(tempFolder);
  input.folder = tempFolder;
  return planFrameFiles(context.run.framePolicy, input);
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

enum class WaitEnd { complete, readError, stopped, writeFailed, encoderEnded };

// While the sound is extracted the encode can take no frame, and more frames than its first would
// only take the processor from the extraction and from the encode's start. The rest wait until
// the extraction ends, the run is stopped, or the hold's end (a long movie's extraction is not
// waited out). On the streaming thread, before the frame is taken.
constexpr int32_t kFramesBeforeSound = 3;
constexpr auto kLongestSoundHold = std::chrono::seconds(1);

void holdWhileSoundIsExtracted(ConversionContext& context,
                               std::chrono::steady_clock::time_point holdUntil) {
  while (context.run.frameNumber >= kFramesBeforeSound && context.encoder.audioRunning != 0 &&
         context.run.conversionStopRequest == 0 && std::chrono::steady_clock::now() < holdUntil) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// Starts the main encode as soon as the first frame is on its way, so that it overlaps decoding;
// the export adopts it when the settings are still the same then. For a movie with sound it does
// not wait for the extraction: the tool reads no frame before temp.wav is there, and an extraction
// that makes none cancels that encode (nothing was read) for one without sound. For a movie without
// sound, what the extraction makes is waited for.
// A stream that does not tell its length is encoded once its length is known, at the export.
// Consumed frame files have no other reader: an encode that cannot start, or ends before the
// frames do, ends the frame stage (returns false).
bool startEncodeAheadWhenReady(ConversionContext& context, const RunFacts& facts,
                               const std::string& outputPath, EncodeAheadState& ahead) {
  if (ahead.soundPending && context.encoder.audioRunning == 0) {
    ahead.soundPending = false;
    if (!soundPresent(facts.tempFolder)) {
      // The writer must not take the cancelled encode's end for the end of its reader.
      if (context.run.frameWriter) context.run.frameWriter->setConsumer(nullptr);
      cancelEncodeAhead(context.encoder);
      ahead.started = false;
    }
  }
  if (ahead.started) {
    if (!facts.budget.consume) return true;
    const std::shared_ptr<ChildProcess> process = encodeAheadProcess(context.encoder);
    return process && !process->waitFor(std::chrono::milliseconds(0));
  }
  if (context.run.frameNumber < 1) return true;
  const bool extracting = context.encoder.audioRunning != 0;
  if (extracting && !facts.movieHasSound) return true;
  ahead.started = true;
  if (context.source.durationTicks <= 0) return true;
  EncodeRequest request = encodeRequestFor(context, facts, outputPath);
  if (extracting) request.soundPresent = true;
  EncodeAheadOptions options;
  options.consumeFrames = facts.budget.consume;
  options.soundPending = extracting;
  const bool running = startEncodeAhead(context.encoder, request, options);
  ahead.soundPending = running && extracting;
  if (running && facts.budget.consume) {
    context.run.frameWriter->setConsumer(encodeAheadProcess(context.encoder));
  }
  return running || !facts.budget.consume;
}

// Polls the graph's end event and the frame counter, animating the window, until the movie has
// been decoded (or could not be read on), Stop was pressed, a frame file failed, or no frame came
// for 13 ticks while the decoder was not waiting for the file system.
WaitEnd waitForFrames(ConversionContext& context, DecodeGraph& graph, const RunFacts& facts,
                      const std::string& outputPath, EncodeAheadState& ahead) {
  Frontend& frontend = context.frontend;
  ConversionRunState& run = context.run;
  int turns = 0;
  int blink = 0;
  int32_t lastFrame = -1;
  int stall = 0;
  for (;;) {
    frontend.yield(10);
    if (run.conversionStopRequest == 1) return WaitEnd::stopped;
    if (run.frameWriteFailed == 1) return WaitEnd::writeFailed;
    if (!startEncodeAheadWhenReady(context, facts, outputPath, ahead)) {
      return WaitEnd::encoderEnded;
    }
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
      // A slow disk or network share is waited for as long as it takes (Stop still ends the run),
      // and so is an encoder that has not yet read the frames before the window's.
      const bool waitingOnFile = graph.waitingOnInput();
      const bool waitingOnEncoder = run.frameWriter->waitingForEncoder();
      frontend.setInfoLabel(
          InfoLabel::operation,
          std::to_string(frames) + (waitingOnFile ? " (waiting for the movie file)" : ""));
      setStrip(context, frames);
      if (frames != lastFrame || waitingOnFile || waitingOnEncoder) {
        lastFrame = frames;
        stall = 0;
      } else {
        ++stall;
      }
    }
    const std::optional<int32_t> event = graph.takeEvent();
    if (event && *event == kEventErrorAbort) return WaitEnd::readError;
    if ((event && *event == kEventComplete) || stall > 12) return WaitEnd::complete;
    frontend.yield(12);
  }
}

// The closing message of one encode: success with its warnings, a movie read only in part, or
// no movie and why.
struct ExportVerdict {
  bool written = false;
  std::string problem;
  std::vector<std::string> warnings;
};

ExportVerdict verdictOf(EncoderRuns& runs, const std::string& outputPath,
                        const FileIdentity& before) {
  ExportVerdict verdict;
  std::lock_guard lock(runs.mutex);
  verdict.written = runs.mainEncodeSucceeded && outputWritten(outputPath, before);
  verdict.problem = runs.mainEncodeProblem;
  verdict.warnings = runs.mainEncodeWarnings;
  if (!verdict.written && verdict.problem.empty()) verdict.problem = "no output file was written";
  return verdict;
}

std::string warningLines(const std::vector<std::string>& warnings) {
  std::string lines;
  for (const std::string& warning : warnings) lines += "Warning: " + warning + "\r\n";
  return lines;
}

// Watches the frame stage of an encode from the movie, once per pass of the progress window: ends
// the encoder's frames when the movie is through (or the frames the run made), abandons them on
// Stop, on a frame file that failed or when the frames no longer come.
class FrameStageWatch {
 public:
  FrameStageWatch(ConversionContext& context, DecodeGraph& graph,
                  std::shared_ptr<ChildProcess> encoder)
      : context_(context), graph_(graph), encoder_(std::move(encoder)) {}

  void pass() {
    if (done_) return;
    ConversionRunState& run = context_.run;
    if (run.conversionStopRequest == 1) {
      stopped_ = true;
      finish(false);
      return;
    }
    if (run.frameWriteFailed == 1 || !run.frameWriter->error().empty()) {
      finish(false);
      return;
    }
    const int32_t frames = run.frameNumber;
    const int32_t limit = run.frameLimit;
    if (const std::optional<int32_t> event = graph_.takeEvent()) {
      if (*event == kEventComplete || *event == kEventErrorAbort) through_ = true;
    }
    if (limit >= 0 && frames >= limit) through_ = true;
    if (++passes_ > 32) {  // about a second
      passes_ = 0;
      if (frames != lastFrame_ || graph_.waitingOnInput() || run.frameWriter->waitingForEncoder()) {
        lastFrame_ = frames;
        stall_ = 0;
      } else if (++stall_ > 12) {
        through_ = true;
      }
    }
    if (through_ && run.frameWriter->idle()) finish(true);
  }

  // After the encode has ended: frames still being made have no reader any more.
  void end() {
    if (!done_) finish(false);
  }
  bool stopped() const { return stopped_; }

 private:
  void finish(bool complete) {
    done_ = true;
    ConversionRunState& run = context_.run;
    if (!complete) run.frameWriter->abandon();  // first: the frame callback may wait for it
    graph_.pause();
    {
      std::lock_guard lock(run.frameMutex);
      run.acceptingFrames = false;
    }
    if (encoder_) endFramesOf(*encoder_, complete);
  }

  ConversionContext& context_;
  DecodeGraph& graph_;
  std::shared_ptr<ChildProcess> encoder_;
  bool done_ = false;
  bool through_ = false;
  bool stopped_ = false;
  int passes_ = 0;
  int32_t lastFrame_ = -1;
  int stall_ = 0;
};

// Removes the frame files an abandoned encode left, keeping temp.wav.
void removeFrameFiles(const std::string& folder) {
  std::error_code error;
  std::vector<fs::path> frames;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (isFrameFileName(it->path().filename().string())) frames.push_back(it->path());
  }
  for (const fs::path& frame : frames) fs::remove(frame, error);
}

// An encode of a run whose frame files were consumed: the frame stage runs again from the movie
// (decode, canvas, logo, consumed frame files) into the encode, under the same progress window.
// Returns false when Stop ended it.
bool encodeFromMovie(ConversionContext& context, const RunFacts& facts,
                     const EncodeRequest& request) {
  ConversionRunState& run = context.run;
  FrameGeometry& geometry = context.geometry;
  const std::shared_ptr<DecodeGraph> graph = context.source.currentGraph();
  if (!graph) {
    showEncodeProgress(context.frontend, context.encoder, request, context.log);
    return true;
  }
  graph->pause();
  removeFrameFiles(facts.tempFolder);
  graph->seek(0);
  while (graph->takeEvent()) {
  }
  {
    std::lock_guard lock(run.frameMutex);
    run.frameWriter = std::make_shared<FrameFileWriter>(
        facts.tempFolder, geometry.frameFileHeaders, geometry.canvasImage(), geometry.placedBytes(),
        facts.budget.window);
    run.firstFrameSlot = -1;
    run.batchCount = 0;
    run.batchStartTime = run.runStartTime = ConversionRunState::Clock::now();
    run.frameWriteError.clear();
    run.acceptingFrames = true;
  }
  run.frameWriteFailed = 0;
  run.frameNumber = 0;
  run.frameLimit = facts.frameLimit;
  std::shared_ptr<ChildProcess> encoder;
  if (startEncodeAhead(context.encoder, request,
                       {.consumeFrames = true, .framesFollowExport = true})) {
    encoder = encodeAheadProcess(context.encoder);
    run.frameWriter->setConsumer(encoder);
  }
  FrameStageWatch watch(context, *graph, encoder);
  graph->run();
  showEncodeProgress(context.frontend, context.encoder, request, context.log,
                     [&watch] { watch.pass(); });
  watch.end();
  run.frameLimit = -1;
  return !watch.stopped();
}

// The export and re-export sequence. `partial` describes how far a movie that could not be read
// to its end got; it is empty for a complete run. Returns true when some encode wrote its output.
// `before` is the file the output path held before the run (an encode started ahead may already
// have replaced it).
bool exportMovie(ConversionContext& context, const RunFacts& facts, std::string outputPath,
                 const std::string& partial, FileIdentity before) {
  Frontend& frontend = context.frontend;
  bool anyWritten = false;
  for (bool first = true;; first = false) {
    if (!first) before = identityOf(outputPath);
    context.log.writeLog("ConvertRectExport Begin");
    const EncodeRequest request = encodeRequestFor(context, facts, outputPath);
    // An encode started ahead for another command line is abandoned here. The output path itself
    // is only ever replaced by a complete movie: the tool writes under a name of its own first.
    const bool adopted = keepEncodeAheadFor(context.encoder, encodeCommand(request).command);
    if (adopted || !facts.budget.consume) {
      showEncodeProgress(frontend, context.encoder, request, context.log);
    } else if (!encodeFromMovie(context, facts, request)) {
      context.log.writeLog("ConvertRectExport End");
      return anyWritten;  // Stop: this encode makes no movie and nothing more is asked
    }
    context.log.writeLog("ConvertRectExport End");
    const ExportVerdict verdict = verdictOf(context.encoder, outputPath, before);
    anyWritten = anyWritten || verdict.written;
    const std::string again = "Do you want to save it with another compression value ?";
    MessageAnswer answer = MessageAnswer::cancel;
    if (!verdict.written) {
      answer = frontend.showMessage(
          "Output movie was not created.\r\n" + verdict.problem + "\r\n" + again, kMonitoring,
          MessageIcon::error, MessageButtons::okCancel);
    } else if (!partial.empty()) {
      answer = frontend.showMessage(partial + warningLines(verdict.warnings) + again, kMonitoring,
                                    MessageIcon::warning, MessageButtons::okCancel);
    } else {
      answer = frontend.showMessage(
          "Movie converted successfully.\r\n" + warningLines(verdict.warnings) + again,
          "Successful termination", MessageIcon::information, MessageButtons::okCancel);
    }
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

// How far a movie that could not be read to its end got, for the closing message.
std::string partialRunText(const FrameSourceState& source, int32_t frames,
                           const std::string& readError) {
  std::string text = "The movie could not be read to its end";
  if (!readError.empty()) text += " (" + readError + ")";
  text += ".\r\nConverted " + formatClock(static_cast<int32_t>(framesSeconds(source, frames)));
  if (source.durationSeconds > 0) {
    text += " of " + formatClock(static_cast<int32_t>(source.durationSeconds));
  }
  text += ", " + std::to_string(frames);
  if (source.totalFrames > 0) text += " of " + std::to_string(source.totalFrames);
  return text + " frames.\r\n";
}

void endRun(ConversionContext& context, const std::string& tempFolder) {
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
  deleteTempFiles(tempFolder, 1, context.aviCopies, [&](int ms) { frontend.yield(ms); });
  joinAudioExtraction(context.encoder);
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
    run.firstFrameSlot = -1;
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
  for (int turn = 0; turn < 1000 && context.geometry.setupBusy == 1; ++turn) frontend.yield(50);

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
  // What would make the encode fail is said now, not after the whole frame stage.
  if (const std::string problem = encodePrecheck(context.exeFolder, outputPath); !problem.empty()) {
    refuse(context, "Output movie was not created.\r\n" + problem);
    return leave(ConversionOutcome::refused);
  }
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
  const FrameBudget budget = frameBudgetFor(context, tempFolder);
  if (!budget.refusal.empty()) {
    refuse(context, budget.refusal);
    return leave(ConversionOutcome::refused);
  }
  log.writeLog(frameBudgetLogLine(budget));
  // The extraction goes first; the canvas, the first frames and the encode's start overlap it.
  startAudioExtraction(context.encoder,
                       audioExtractionCommand(context.exeFolder, source.moviePath, tempFolder));
  // An existing output stays as it is until a complete movie replaces it.
  const FileIdentity outputBefore = identityOf(outputPath);
  frontend.yield(10);

  showConversionInfo(frontend, source, outputPath);
  log.writeLog("Set MovieDuration");

  FrameGeometry& geometry = context.geometry;
  {
    std::lock_guard lock(geometry.buffersMutex);
    geometry.frameWidth = source.sourceWidth;
    geometry.frameHeight = source.sourceHeight;
  }
  graph->setSampleCallback(&initSampleFrameCallback(
      source, [&context, holdUntil = std::chrono::steady_clock::now() +
                                     kLongestSoundHold](const uint32_t* frame) {
        holdWhileSoundIsExtracted(context, holdUntil);
        onFrame(context, frame);
      }));
  prepareCanvas(geometry, context.logo, context.settings.shiftFactor, context.tables, log);
  {
    std::lock_guard lock(run.frameMutex);
    run.frameWriter = std::make_shared<FrameFileWriter>(tempFolder, geometry.frameFileHeaders,
                                                        geometry.canvasImage(),
                                                        geometry.placedBytes(), budget.window);
  }
  run.frameLimit = -1;
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
  // An end of the movie that an earlier playback left waiting must not end this run.
  while (graph->takeEvent()) {
  }
  graph->run();

  RunFacts facts;
  facts.tempFolder = tempFolder;
  facts.encodeSeconds = source.durationSeconds;
  facts.budget = budget;
  facts.movieHasSound = graph->hasSound();
  EncodeAheadState ahead;
  WaitEnd waited = waitForFrames(context, *graph, facts, outputPath, ahead);
  ConversionOutcome outcome = ConversionOutcome::stopped;
  FrameFileWriter& writer = *run.frameWriter;
  if (budget.consume && (waited == WaitEnd::complete || waited == WaitEnd::readError)) {
    // The last frames reach the disk as the encoder reads the ones before them.
    while (!writer.idle()) {
      if (run.conversionStopRequest == 1) {
        waited = WaitEnd::stopped;
        break;
      }
      if (!startEncodeAheadWhenReady(context, facts, outputPath, ahead)) {
        waited = WaitEnd::encoderEnded;
        break;
      }
      frontend.yield(10);
    }
  }
  const bool framesEnd = waited == WaitEnd::complete || waited == WaitEnd::readError;
  // A consumed frame waiting for an encoder that will not read it holds the frame callback.
  if (budget.consume && !framesEnd) writer.abandon();
  if (!framesEnd) graph->pause();  // no more frames for a run that ends here
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
  const int32_t framesMade = run.frameNumber;
  // A read error close to the end (the last frame's packet, a trailing damaged box) loses nothing
  // the movie said it had.
  const bool partial =
      waited == WaitEnd::readError && (source.totalFrames <= 0 || framesMade < source.totalFrames);
  if (partial || source.durationTicks <= 0) facts.encodeSeconds = framesSeconds(source, framesMade);
  if (partial) facts.frameLimit = framesMade;
  const bool framesComplete = framesEnd && run.frameWriteFailed == 0;
  if (framesComplete && !partial && ahead.soundPending) {
    // The frames are ended only once the sound is settled: the tool waits for temp.wav until then.
    // Without one, this cancels the encode and starts it again without sound.
    while (context.encoder.audioRunning == 1) frontend.yield(20);
    startEncodeAheadWhenReady(context, facts, outputPath, ahead);
  }
  if (framesComplete && !partial) {
    endEncodeAheadFrames(context.encoder);
  } else if (waited != WaitEnd::encoderEnded) {
    cancelEncodeAhead(context.encoder);
  }
  if (run.frameWriteFailed == 1) {
    refuse(context, "A frame file could not be written (" + run.frameWriteError +
                        "). The conversion has stopped; no movie was made.");
    outcome = ConversionOutcome::failed;
  } else if (framesComplete || waited == WaitEnd::encoderEnded) {
    // The encode takes temp.wav as it finds it: let a running extraction finish first, or the
    // movie would lose its sound or get a cut one.
    while (context.encoder.audioRunning == 1) frontend.yield(20);
    if (context.framesWritten) context.framesWritten();
    const std::string partialText =
        partial ? partialRunText(source, framesMade, graph->readError()) : std::string();
    if (partial) log.writeLog("Movie read in part: " + std::to_string(framesMade) + " frames");
    const bool written = exportMovie(context, facts, outputPath, partialText, outputBefore);
    outcome = !written  ? ConversionOutcome::notCreated
              : partial ? ConversionOutcome::incomplete
                        : ConversionOutcome::converted;
  }
  endRun(context, tempFolder);
  return outcome;
}

}  // namespace tarn
