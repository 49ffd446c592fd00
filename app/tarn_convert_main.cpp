// tarn-convert: the converter without a window. Reads the command line and hands the work to the
// shell's headless conversion, which runs the same conversion as the window program.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/program_version.h"
#include "shell/headless_conversion.h"

namespace {
using namespace tarn;

struct Options {
  std::vector<std::string> files;
  std::string output;
  std::string outputDir;
  std::string format = "mp4";
  std::string info;
  bool json = false;
  bool replace = false;
  bool neverReplace = false;
  std::string logo;
  std::string temp;
  std::string log;
  int quality = 0;
  int bitrate = -1;
  int codecMode = -1;
  int resize = 0;
  int channels = 0;
  int sampleRate = 0;
  std::string progress = "auto";
  bool quiet = false;
  bool verbose = false;
};

// A menu's values by name, as the menu shows them (case-blind); the menu index is accepted as
// well. The value becomes the index.
CLI::Validator named(std::vector<std::string> names) {
  return CLI::Validator(
      [names](std::string& value) -> std::string {
        for (size_t i = 0; i < names.size(); ++i) {
          if (CLI::detail::to_lower(value) == names[i] || value == std::to_string(i)) {
            value = std::to_string(i);
            return {};
          }
        }
        std::string list;
        for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
        return value + " is not one of " + list + " (or their index 0.." +
               std::to_string(names.size() - 1) + ")";
      },
      "");
}

const char* const kFooter = R"(Values by name (the menu index 0, 1, ... is accepted as well):
  --bitrate      auto 500k 700k 900k 1200k 1500k 2000k 3000k 4000k 5000k   (default: settings file, else auto)
  --codec-mode   auto ultrafast fast medium max slower                      (default: settings file, else auto)
  --resize       100% 90% 80% 70% 60% 50%                                   (default 100%)
  --channels     stereo mono                                                (default stereo)
  --sample-rate  auto 48000 44100 22050 11025                               (default auto)
  --quality      default 1..21 (1 largest file, 21 smallest)                (default default)

Containers by the output's extension: .flv .avi .mov .mp4 .m4v .ogg .ogv .webm

Progress goes to standard error: a bar on a terminal, plain lines otherwise; with
--progress=json one JSON object per line on standard output (file, stage "frames" or "encode",
frames, total, percent, seconds_left; then one "done" object per movie with its result).

Exit status:
  0    every movie was converted
  1    a movie was refused or failed (an existing output without -y, a file that is not a movie, ...)
  2    usage error
  3    a movie could not be read to its end; the output holds what was read
  130  stopped by SIGINT (Ctrl+C), 143 stopped by SIGTERM: the output being written is removed

Examples:
  tarn-convert pano.mp4 pano_flat.mp4                   convert one movie
  tarn-convert -y pano.mp4 -o pano_flat.webm            replace an existing output
  tarn-convert --quality 5 --resize 50% --bitrate 2000k pano.mp4 small.mp4
  tarn-convert --logo logo.jpg pano.mov pano_logo.mov   put a logo into the bands
  tarn-convert --output-dir out --format webm *.mp4     convert many movies: out/<name>_Unwrapped.webm
  tarn-convert --progress=json pano.mp4 out.mp4         progress for scripts
  tarn-convert --info pano.mp4 [--json]                 describe a movie
)";

int usageError(const std::string& text) {
  std::fprintf(stderr, "tarn-convert: %s\nTry 'tarn-convert --help' for more information.\n",
               text.c_str());
  return exit_status::usage;
}

ProgressStyle progressStyle(const std::string& name) {
  if (name == "bar") return ProgressStyle::bar;
  if (name == "lines") return ProgressStyle::lines;
  if (name == "json") return ProgressStyle::json;
  if (name == "none") return ProgressStyle::none;
  return ::isatty(STDERR_FILENO) == 1 ? ProgressStyle::bar : ProgressStyle::lines;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CLI::App cli{
      "Converts movies shot through a panoramic lens into rectangular panoramic movies.\n"
      "  tarn-convert [OPTIONS] INPUT OUTPUT\n"
      "  tarn-convert [OPTIONS] INPUT -o OUTPUT\n"
      "  tarn-convert [OPTIONS] --output-dir DIR [--format EXT] INPUT...\n"
      "  tarn-convert --info INPUT [--json]",
      "tarn-convert"};
  cli.footer(kFooter);
  cli.failure_message([](const CLI::App*, const CLI::Error& error) {
    return std::string("tarn-convert: ") + error.what() +
           "\nTry 'tarn-convert --help' for more information.\n";
  });
  cli.set_version_flag("--version", std::string("tarn-convert ") + programVersion());
  auto* files = cli.add_option("FILES", options.files, "the movie and the output (or movies)")
                    ->type_name("INPUT");
  auto* output =
      cli.add_option("-o,--output", options.output, "the movie to write (instead of OUTPUT)")
          ->type_name("FILE");
  auto* outputDir = cli.add_option("--output-dir", options.outputDir,
                                   "convert every INPUT into DIR/<name>_Unwrapped.<EXT>")
                        ->type_name("DIR");
  cli.add_option("--format", options.format,
                 "with --output-dir: the container's extension (default mp4)")
      ->type_name("EXT")
      ->needs(outputDir);
  output->excludes(outputDir);
  auto* info = cli.add_option("--info", options.info, "describe the movie INPUT and exit")
                   ->type_name("INPUT");
  info->excludes(files)->excludes(output)->excludes(outputDir);
  cli.add_flag("--json", options.json, "with --info: one JSON object")->needs(info);
  auto* yes = cli.add_flag("-y,--overwrite", options.replace, "replace an existing output");
  cli.add_flag("-n,--no-overwrite", options.neverReplace,
               "never replace an existing output (the default: the movie is refused)")
      ->excludes(yes);
  cli.add_option("--logo", options.logo,
                 "nadir logo picture (JPEG, at least 6 times as wide as high)")
      ->type_name("FILE")
      ->check(CLI::ExistingFile.description(""));
  cli.add_option("--quality", options.quality, "default, or 1 (largest file) .. 21 (smallest)")
      ->type_name("Q")
      ->transform(
          CLI::Transformer(std::map<std::string, std::string>{{"default", "0"}}, CLI::ignore_case)
              .description(""))
      ->check(CLI::Range(0, 21).description(""));
  cli.add_option("--bitrate", options.bitrate, "video bit rate: auto, 500k .. 5000k")
      ->type_name("RATE")
      ->transform(named(
          {"auto", "500k", "700k", "900k", "1200k", "1500k", "2000k", "3000k", "4000k", "5000k"}));
  cli.add_option("--codec-mode", options.codecMode,
                 "encoder speed: auto, ultrafast, fast, medium, max, slower")
      ->type_name("MODE")
      ->transform(named({"auto", "ultrafast", "fast", "medium", "max", "slower"}));
  cli.add_option("--resize", options.resize, "output size: 100%, 90%, 80%, 70%, 60%, 50%")
      ->type_name("PERCENT")
      ->transform(named({"100%", "90%", "80%", "70%", "60%", "50%"}));
  cli.add_option("--channels", options.channels, "sound channels: stereo, mono")
      ->type_name("LAYOUT")
      ->transform(named({"stereo", "mono"}));
  cli.add_option("--sample-rate", options.sampleRate,
                 "sound sampling rate: auto, 48000, 44100, 22050, 11025")
      ->type_name("HZ")
      ->transform(named({"auto", "48000", "44100", "22050", "11025"}));
  cli.add_option("--temp", options.temp,
                 "temporary stream folder (default: a private folder removed afterwards)")
      ->type_name("DIR");
  cli.add_option("--log", options.log, "write the run log to FILE")->type_name("FILE");
  cli.add_option("--progress", options.progress, "auto, bar, lines, json or none")
      ->type_name("STYLE")
      ->check(CLI::IsMember({"auto", "bar", "lines", "json", "none"}).description(""));
  auto* quiet = cli.add_flag("-q,--quiet", options.quiet, "print errors only");
  cli.add_flag("-v,--verbose", options.verbose, "print the run log's lines as well")
      ->excludes(quiet);
  try {
    cli.parse(argc, argv);
  } catch (const CLI::Success& done) {
    return cli.exit(done);  // --help, --version
  } catch (const CLI::ParseError& error) {
    cli.exit(error);
    return exit_status::usage;
  }

  if (!options.info.empty()) return printMovieInfo(options.info, options.json);

  HeadlessRequest request;
  if (!options.outputDir.empty()) {
    if (options.files.empty()) return usageError("--output-dir needs at least one INPUT");
    if (!isOutputContainer("x." + options.format)) {
      return usageError("--format must be flv, avi, mov, mp4, m4v, ogg, ogv or webm: " +
                        options.format);
    }
    for (const std::string& input : options.files) {
      request.jobs.push_back({input, batchOutputPath(input, options.outputDir, options.format)});
    }
    request.batch = true;
  } else if (!options.output.empty()) {
    if (options.files.size() != 1) return usageError("-o takes one INPUT");
    request.jobs.push_back({options.files[0], options.output});
  } else {
    if (options.files.size() != 2) {
      return usageError(options.files.size() > 2
                            ? "several movies need --output-dir DIR"
                            : "INPUT and OUTPUT are required (or -o OUTPUT, or --info INPUT)");
    }
    request.jobs.push_back({options.files[0], options.files[1]});
  }
  for (const HeadlessJob& job : request.jobs) {
    if (!isOutputContainer(job.output)) {
      return usageError("OUTPUT must end in .flv, .avi, .mov, .mp4, .m4v, .ogg, .ogv or .webm: " +
                        job.output);
    }
  }
  if (!options.outputDir.empty()) {
    std::error_code error;
    std::filesystem::create_directories(options.outputDir, error);
  }

  request.logo = options.logo;
  request.temp = options.temp;
  request.log = options.log;
  request.output =
      OutputOptions{options.resize, options.channels, options.sampleRate, options.quality};
  request.bitRateIndex = options.bitrate;
  request.codecModeIndex = options.codecMode;
  request.existing = options.replace        ? ExistingOutput::replace
                     : options.neverReplace ? ExistingOutput::never
                                            : ExistingOutput::refuse;
  request.progress = progressStyle(options.progress);
  request.quiet = options.quiet;
  request.verbose = options.verbose;
  return runHeadlessConversion(request);
}
