#include "shell/headless_conversion.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "common/paths.h"
#include "common/text.h"
#include "conversion/conversion_run.h"
#include "conversion/logo_picture.h"
#include "conversion/output_path_check.h"
#include "conversion/timing_text.h"
#include "encoding/encode_command.h"
#include "encoding/spherical_metadata.h"
#include "input/frame_source.h"
#include "input/media_probe.h"
#include "input/movie_facts.h"
#include "input/open_movie.h"
#include "shell/application.h"
#include "shell/console_frontend.h"
#include "shell/conversion_context.h"
#include "shell/private_temp_folder.h"
#include "shell/run_log_file.h"
#include "shell/settings_file.h"
#include "shell/startup.h"
#include "shell/stop_signals.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;

// The window's defaults, then the settings file beside the executable when there is one; the
// file is only read.
void loadDefaults(Application& app) {
  app.paths = WorkingPaths::forProgram(runningExeFolder());
  std::error_code error;
  app.settings.tempStreamFolder = app.paths.defaultTempFolder.string();
  app.settings.movieFolder = fs::current_path(error).string();
  if (fs::exists(app.paths.settingsPath, error)) {
    loadSettings(app.paths.settingsPath, app.settings);
    if (trimNulsAndBlanks(app.settings.tempStreamFolder).empty()) {
      app.settings.tempStreamFolder = app.paths.filesFolder.string();
    }
  }
}

// The application of the movie being converted, reachable from the signal watcher.
class CurrentRun {
 public:
  void set(Application* app) {
    std::lock_guard lock(mutex_);
    app_ = app;
    if (app_ && stopped_) app_->conversionRun.conversionStopRequest = 1;
  }
  // As the Stop command: the current run ends, and no later one begins.
  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    if (app_) app_->conversionRun.conversionStopRequest = 1;
  }
  bool stopped() {
    std::lock_guard lock(mutex_);
    return stopped_;
  }

 private:
  std::mutex mutex_;
  Application* app_ = nullptr;
  bool stopped_ = false;
};

ConversionOutcome convertOne(Application& app, ConsoleFrontend& frontend, const HeadlessJob& job,
                             const std::string& logo, CurrentRun& current) {
  if (!logo.empty() && !acceptLogo(app.logo, frontend, logo)) return ConversionOutcome::refused;

  FrameSourceState& source = app.frameSource;
  FrameSourceContext sourceContext{
      source, frontend, app.runLog,
      // No preview refresh: a console run shows no picture, and copying frames of megabytes into
      // the preview buffers would only delay the start of the conversion.
      FrameSourceHooks{{},
                       [](double seconds) { return formatDuration(seconds); },
                       // The pauses that let a previous movie's loop end: there is none here.
                       [&frontend](int ms) { frontend.yield(ms); }}};
  std::atomic<int32_t> loaderDone{0};
  // The window probes a chosen movie with the encoder tool for its file panel; a console run shows
  // no such panel, and the probe's two program starts would only delay the conversion.
  std::thread loader([&] {
    openMovie(sourceContext, job.input);
    loaderDone = 1;
  });
  // Opened once the frame source streams; its teardown message tells why when it did not.
  // (After a failed opening the open-movie step briefly sets streamState to 1 as well.)
  const auto streaming = [&] { return source.streamState == 1 && source.sourceActive == 1; };
  while (!streaming() && loaderDone == 0 && !current.stopped()) frontend.yield(10);

  ConversionOutcome outcome = ConversionOutcome::failed;
  if (streaming() && !current.stopped()) {
    // As the Convert command: stop and rewind before the run.
    if (const auto graph = source.currentGraph()) {
      graph->stop();
      frontend.yield(100);
      source.positionTicks = 0;
      graph->seek(0);
    }
    ConversionContext context = conversionContext(app, frontend);
    outcome = convertMovie(context, job.output);
  }
  source.streamState = 0;  // a refused run leaves the movie open: close it
  loader.join();
  return outcome;
}

bool exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

const char* outcomeWord(ConversionOutcome outcome) {
  switch (outcome) {
    case ConversionOutcome::converted:
      return "converted";
    case ConversionOutcome::incomplete:
      return "incomplete";
    case ConversionOutcome::stopped:
      return "stopped";
    case ConversionOutcome::refused:
      return "refused";
    default:
      return "failed";
  }
}

struct Tally {
  int converted = 0;
  int incomplete = 0;
  int failed = 0;
};

}  // namespace

std::string batchOutputPath(const std::string& input, const std::string& folder,
                            const std::string& extension) {
  std::string ext = extension;
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  const std::string name = fs::path(input).stem().string() + "_Unwrapped." + ext;
  return (fs::path(folder) / name).string();
}

bool isOutputContainer(const std::string& path) {
  EncodeRequest probe;
  probe.outputPath = path;
  return !encodeCommand(probe).command.empty();
}

int runHeadlessConversion(const HeadlessRequest& request) {
  ConsoleFrontend frontend(stderr, stdout, request.progress, request.quiet);
  CurrentRun current;
  const StopSignals signals([&current] { current.stop(); });

  Tally tally;
  PrivateTempFolder privateFolder;
  bool logStarted = false;
  for (const HeadlessJob& job : request.jobs) {
    if (current.stopped()) break;
    frontend.setCurrentFile(job.input);
    // An existing output is kept unless replacing was asked for; the movie itself is refused by
    // the run, with its own message.
    if (request.existing != ExistingOutput::replace && exists(job.output) &&
        !isSameFileAsMovie(job.output, job.input)) {
      frontend.say(job.output, "exists; not replaced (-y replaces it)", true);
      ++tally.failed;
      frontend.writeJson(nlohmann::json{
          {"file", job.input}, {"output", job.output}, {"stage", "done"}, {"result", "refused"}}
                             .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
      continue;
    }

    auto app = std::make_unique<Application>();
    loadDefaults(*app);
    if (request.verbose) {
      app->runLog.setEcho([&frontend](std::string_view line) { frontend.logLine(line); });
    }
    if (!logStarted) {
      // The log never replaces what it names unless that is a log: the movie, an output, a file
      // of other content and a folder are refused.
      std::vector<std::string> protectedPaths;
      for (const HeadlessJob& other : request.jobs) {
        protectedPaths.push_back(other.input);
        protectedPaths.push_back(other.output);
      }
      if (!startRunLogFile(app->runLog, request.log, protectedPaths)) {
        frontend.say(request.log, "Incorrect name of log file", true);
        return exit_status::failed;
      }
      logStarted = true;
    } else if (!request.log.empty()) {
      app->runLog.setPath(request.log);
    }
    app->resampleTables = buildResampleTables();
    // Nothing encodes the frames again: each frame file goes as soon as the encoder has read it.
    app->conversionRun.framePolicy = FramePolicy::alwaysConsume;
    if (request.bitRateIndex >= 0) app->settings.bitRateIndex = request.bitRateIndex;
    if (request.codecModeIndex >= 0) app->settings.codecModeIndex = request.codecModeIndex;
    app->outputOptions = request.output;
    if (!request.temp.empty()) {
      app->settings.tempStreamFolder = request.temp;
    } else {
      if (!privateFolder.valid()) {
        privateFolder = PrivateTempFolder::create(app->settings.tempStreamFolder);
        if (!privateFolder.valid()) {
          frontend.say(
              app->settings.tempStreamFolder,
              "The temporary folder cannot be used (" + std::string(strerror(errno)) + ").", true);
          return exit_status::failed;
        }
        if (request.verbose) {
          frontend.say("", "temporary folder " + privateFolder.path().string(), false);
        }
      }
      app->settings.tempStreamFolder = privateFolder.path().string();
    }
    // Diagnostics for the benchmarks: what the encoder tool reports about the main encode.
    if (const char* report = std::getenv("TARN_ENCODER_REPORT"); report && *report) {
      app->encoderRuns.mainEncodeReport = fs::path(report);
    }
    app->frontend = &frontend;

    current.set(app.get());
    ConversionOutcome outcome = convertOne(*app, frontend, job, request.logo, current);
    current.set(nullptr);
    app.reset();  // joins every worker of the run
    // The tool puts only complete movies in place and removes its own files when stopped: after a
    // stop the output path holds the earlier file or nothing, never a part of a movie.
    if (current.stopped()) outcome = ConversionOutcome::stopped;
    if (outcome == ConversionOutcome::converted) {
      ++tally.converted;
    } else if (outcome == ConversionOutcome::incomplete) {
      ++tally.incomplete;
    } else {
      ++tally.failed;
    }
    if (request.batch) {
      const bool ok = outcome == ConversionOutcome::converted;
      frontend.say(job.input,
                   ok ? "converted to " + job.output
                      : std::string("not converted (") + outcomeWord(outcome) + ")",
                   !ok);
    }
    frontend.writeJson(nlohmann::json{{"file", job.input},
                                      {"output", job.output},
                                      {"stage", "done"},
                                      {"result", outcomeWord(outcome)}}
                           .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  }

  if (request.batch) {
    frontend.setCurrentFile({});
    const int total = static_cast<int>(request.jobs.size());
    std::string summary =
        std::to_string(tally.converted) + " of " + std::to_string(total) + " movies converted";
    if (tally.incomplete > 0) summary += ", " + std::to_string(tally.incomplete) + " incomplete";
    if (tally.failed > 0) summary += ", " + std::to_string(tally.failed) + " failed";
    if (current.stopped()) summary += ", stopped by a signal";
    frontend.say("", summary, tally.converted != total);
  }
  if (signals.received()) return signals.exitStatus();
  if (tally.failed > 0) return exit_status::failed;
  if (tally.incomplete > 0) return exit_status::incomplete;
  return exit_status::converted;
}

int printMovieInfo(const std::string& path, bool json) {
  const MovieFacts facts = readMovieFacts(path);
  if (json) {
    if (!facts.readable) {
      std::fprintf(stderr, "tarn-convert: %s: not a movie (%s)\n", path.c_str(),
                   facts.error.c_str());
      return exit_status::failed;
    }
    const SphericalReport spherical = readSphericalMetadata(path);
    nlohmann::json forms = nlohmann::json::array();
    if (spherical.v1Present) forms.push_back("uuid-xml");
    if (spherical.st3dPresent) forms.push_back("st3d");
    if (spherical.sv3dPresent) forms.push_back("sv3d");
    if (!spherical.boxFile && !spherical.sideDataProjection.empty()) {
      forms.push_back("matroska-projection");
    }
    std::string projection = spherical.v2Projection;
    if (projection.empty()) projection = spherical.v1Projection;
    if (projection.empty()) projection = spherical.sideDataProjection;
    nlohmann::json object = {
        {"file", path},
        {"width", facts.width},
        {"height", facts.height},
        {"frame_rate", facts.rateDenominator > 0
                           ? nlohmann::json(std::to_string(facts.rateNumerator) + "/" +
                                            std::to_string(facts.rateDenominator))
                           : nlohmann::json(nullptr)},
        {"duration", facts.durationSeconds},
        {"frame_count", facts.frameCount},
        {"video_codec", facts.videoCodec},
        {"audio_codec", nullptr},
        {"audio_sample_rate", nullptr},
        {"audio_channels", nullptr},
        {"spherical",
         {{"forms", forms},
          {"projection",
           projection.empty() ? nlohmann::json(nullptr) : nlohmann::json(projection)}}}};
    if (facts.hasAudio) {
      object["audio_codec"] = facts.audioCodec;
      object["audio_sample_rate"] = facts.audioSampleRate;
      object["audio_channels"] = facts.audioChannels;
    }
    std::printf("%s\n",
                object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return exit_status::converted;
  }

  Application app;
  loadDefaults(app);
  std::string probeText;
  const ProbeFolder probeFolder(app.paths.exeFolder, app.settings.tempStreamFolder);
  if (!facts.readable || !probeMovie(path, probeFolder.path(app.paths.exeFolder), probeText)) {
    std::error_code error;
    std::fprintf(stderr, "tarn-convert: %s: %s\n", path.c_str(),
                 fs::exists(path, error) ? "AddSourceFile Error" : "Video file not found!");
    return exit_status::failed;
  }
  std::string shown;
  for (const char c : probeText) {
    if (c != '\r') shown += c;
  }
  std::printf("%s\n", shown.c_str());
  std::printf("%s\n", describeSpherical(readSphericalMetadata(path)).c_str());
  return exit_status::converted;
}

}  // namespace tarn
