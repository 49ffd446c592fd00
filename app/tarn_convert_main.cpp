// tarn-convert: the converter without a window. Opens the movie, converts it with the same run
// as the window program, answers "another compression?" with no, and reports by exit status:
// 0 the output movie was written, 1 the run was refused or failed, 2 a usage error, 3 the movie
// could not be read to its end and the output holds what was read.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "common/paths.h"
#include "common/text.h"
#include "conversion/frame_geometry.h"
#include "conversion/logo_picture.h"
#include "conversion/timing_text.h"
#include "encoding/encode_command.h"
#include "encoding/spherical_metadata.h"
#include "input/frame_source.h"
#include "input/media_probe.h"
#include "input/open_movie.h"
#include "shell/application.h"
#include "shell/console_frontend.h"
#include "shell/conversion_context.h"
#include "shell/private_temp_folder.h"
#include "shell/run_log_file.h"
#include "shell/settings_file.h"
#include "shell/startup.h"

namespace {
namespace fs = std::filesystem;
using namespace tarn;

constexpr int kWritten = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kIncomplete = 3;

struct Options {
  std::string input;
  std::string output;
  std::string info;
  std::string logo;
  std::string temp;
  std::string log;
  int quality = 0;
  int bitrate = -1;
  int codecMode = -1;
  int resize = 0;
  int channels = 0;
  int sampleRate = 0;
};

std::string withNewlines(std::string text) {
  std::string result;
  for (char c : text) {
    if (c != '\r') result += c;
  }
  return result;
}

// The window's defaults, then the settings file beside the executable when there is one; the
// file is only read.
void loadDefaults(Application& app) {
  app.paths = WorkingPaths::forExeFolder(runningExeFolder());
  std::error_code error;
  app.settings.tempStreamFolder = app.paths.defaultTempFolder.string();
  app.settings.movieFolder = fs::current_path(error).string();
  if (fs::exists(app.paths.settingsPath, error)) {
    loadSettings(app.paths.settingsPath, app.settings);
    if (trimNulsAndBlanks(app.settings.tempStreamFolder).empty()) {
      app.settings.tempStreamFolder = app.paths.exeFolder.string();
    }
  }
}

int printInfo(Application& app, const std::string& input) {
  std::string probeText;
  const ProbeFolder probeFolder(app.paths.exeFolder, app.settings.tempStreamFolder);
  if (!probeMovie(input, probeFolder.path(app.paths.exeFolder), probeText)) {
    std::fprintf(stderr, "Error Monitoring: %s\n",
                 fs::exists(input) ? "AddSourceFile Error" : "Video file not found!");
    return kFailed;
  }
  std::printf("%s\n", withNewlines(probeText).c_str());
  std::printf("%s\n", describeSpherical(readSphericalMetadata(input)).c_str());
  return kWritten;
}

int convert(Application& app, ConsoleFrontend& frontend, const Options& options) {
  if (!options.logo.empty() && !acceptLogo(app.logo, frontend, options.logo)) return kFailed;

  FrameSourceState& source = app.frameSource;
  FrameSourceContext sourceContext{
      source, frontend, app.runLog,
      FrameSourceHooks{[&] { prepareFrameBuffers(source, app.frameGeometry, frontend); },
                       [](double seconds) { return formatDuration(seconds); },
                       // The pauses that let a previous movie's loop end: there is none here.
                       [&frontend](int ms) { frontend.yield(ms); }}};
  std::atomic<int32_t> loaderDone{0};
  const ProbeFolder probeFolder(app.paths.exeFolder, app.settings.tempStreamFolder);
  std::thread loader([&] {
    loadChosenMovie(sourceContext, options.input, probeFolder.path(app.paths.exeFolder));
    loaderDone = 1;
  });
  // Opened once the frame source streams; its teardown message tells why when it did not.
  // (After a failed opening the open-movie step briefly sets streamState to 1 as well.)
  const auto streaming = [&] { return source.streamState == 1 && source.sourceActive == 1; };
  while (!streaming() && loaderDone == 0) frontend.yield(10);

  ConversionOutcome outcome = ConversionOutcome::failed;
  if (streaming()) {
    // As the Convert command: stop and rewind before the run.
    if (const auto graph = source.currentGraph()) {
      graph->stop();
      frontend.yield(100);
      source.positionTicks = 0;
      graph->seek(0);
    }
    ConversionContext context = conversionContext(app, frontend);
    outcome = convertMovie(context, options.output);
  }
  source.streamState = 0;  // a refused run leaves the movie open: close it
  loader.join();
  if (outcome == ConversionOutcome::incomplete) return kIncomplete;
  return outcome == ConversionOutcome::converted ? kWritten : kFailed;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CLI::App cli{"Converts a movie shot through a panoramic lens into a rectangular panoramic movie.",
               "tarn-convert"};
  cli.set_version_flag("--version", "tarn-convert 0.1.0");
  auto* input = cli.add_option("INPUT", options.input, "the panoramic-lens movie");
  auto* output = cli.add_option("OUTPUT", options.output,
                                "the movie to write: .flv .avi .mov .mp4 .m4v .ogg .ogv .webm");
  cli.add_option("--info", options.info, "print the movie's description (the probe text)")
      ->excludes(input)
      ->excludes(output);
  cli.add_option("--logo", options.logo, "nadir logo picture")->check(CLI::ExistingFile);
  cli.add_option("--quality", options.quality, "0 (\"Default\") to 21, as the quality list")
      ->check(CLI::Range(0, 21));
  cli.add_option("--bitrate", options.bitrate, "0 to 9, the bit-rate menu index")
      ->check(CLI::Range(0, 9));
  cli.add_option("--codec-mode", options.codecMode, "0 to 5, the codec-mode menu index")
      ->check(CLI::Range(0, 5));
  cli.add_option("--resize", options.resize, "0 to 5, the resize menu index")
      ->check(CLI::Range(0, 5));
  cli.add_option("--channels", options.channels, "0 stereo, 1 mono")->check(CLI::Range(0, 1));
  cli.add_option("--sample-rate", options.sampleRate, "0 to 4, the sampling-rate menu index")
      ->check(CLI::Range(0, 4));
  cli.add_option("--temp", options.temp, "temporary stream folder of this run");
  cli.add_option("--log", options.log, "write the run log of this run to FILE");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::Success& done) {
    return cli.exit(done);  // --help, --version
  } catch (const CLI::ParseError& error) {
    cli.exit(error);
    return kUsage;
  }

  Application app;
  loadDefaults(app);
  if (!options.info.empty()) return printInfo(app, options.info);
  if (options.input.empty() || options.output.empty()) {
    std::fprintf(stderr, "INPUT and OUTPUT are required (or --info INPUT)\n%s", cli.help().c_str());
    return kUsage;
  }
  EncodeRequest probe;
  probe.outputPath = options.output;
  if (encodeCommand(probe).command.empty()) {
    std::fprintf(stderr,
                 "OUTPUT must end in .flv, .avi, .mov, .mp4, .m4v, .ogg, .ogv or .webm: %s\n",
                 options.output.c_str());
    return kUsage;
  }

  if (!startRunLogFile(app.runLog, options.log, {options.input, options.output})) {
    std::fprintf(stderr, "Error Monitoring: Incorrect name of log file\n");
    return kFailed;
  }
  app.resampleTables = buildResampleTables();
  if (options.bitrate >= 0) app.settings.bitRateIndex = options.bitrate;
  if (options.codecMode >= 0) app.settings.codecModeIndex = options.codecMode;
  app.outputOptions =
      OutputOptions{options.resize, options.channels, options.sampleRate, options.quality};

  PrivateTempFolder privateFolder;
  if (!options.temp.empty()) {
    app.settings.tempStreamFolder = options.temp;
  } else {
    privateFolder = PrivateTempFolder::create(app.settings.tempStreamFolder);
    if (!privateFolder.valid()) {
      std::fprintf(stderr, "Error Monitoring: The temporary folder %s cannot be used.\n",
                   app.settings.tempStreamFolder.c_str());
      return kFailed;
    }
    app.settings.tempStreamFolder = privateFolder.path().string();
  }

  // Diagnostics for the benchmarks: what the encoder tool reports about the main encode.
  if (const char* report = std::getenv("TARN_ENCODER_REPORT"); report && *report) {
    app.encoderRuns.mainEncodeReport = fs::path(report);
  }
  ConsoleFrontend frontend(stderr, ::isatty(STDERR_FILENO) == 1);
  app.frontend = &frontend;
  return convert(app, frontend, options);
}
