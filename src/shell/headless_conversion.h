#pragma once

#include <string>
#include <vector>

#include "common/settings.h"
#include "shell/console_progress.h"

namespace tarn {

// Exit statuses of the headless front end.
namespace exit_status {
inline constexpr int converted = 0;      // every movie was converted
inline constexpr int failed = 1;         // a movie was refused or failed
inline constexpr int usage = 2;          // the command line was wrong
inline constexpr int incomplete = 3;     // a movie could not be read to its end; the output holds
                                         // what was read
inline constexpr int interrupted = 130;  // SIGINT (128 + 2)
inline constexpr int terminated = 143;   // SIGTERM (128 + 15)
}  // namespace exit_status

// What to do with an output file that exists already.
enum class ExistingOutput {
  refuse,   // keep it and refuse the movie (the default)
  replace,  // -y
  never,    // -n: never replace, said explicitly
};

struct HeadlessJob {
  std::string input;
  std::string output;
};

struct HeadlessRequest {
  std::vector<HeadlessJob> jobs;  // converted one after another
  bool batch = false;             // a line per movie and a summary at the end
  std::string logo;
  std::string temp;  // the temporary stream folder; empty: a private one under the settings'
  std::string log;   // the run log; empty: none
  OutputOptions output;
  int bitRateIndex = -1;  // -1: the settings file's (or the default)
  int codecModeIndex = -1;
  ExistingOutput existing = ExistingOutput::refuse;
  ProgressStyle progress = ProgressStyle::lines;
  bool quiet = false;
  bool verbose = false;  // the run log's lines on standard error too
};

// "DIR/<name>_Unwrapped.<ext>": the window's default output name for `input`, in `folder`.
std::string batchOutputPath(const std::string& input, const std::string& folder,
                            const std::string& extension);

// Whether `path` ends in one of the eight output containers' extensions.
bool isOutputContainer(const std::string& path);

// Converts every movie of `request` with the same run as the window program (answering "another
// compression?" with no) and returns the exit status. SIGINT and SIGTERM stop it as Stop does:
// the run ends, its private folder is removed, the output being written is not kept.
// Call from the main thread before any other thread is started.
int runHeadlessConversion(const HeadlessRequest& request);

// Describes a movie on standard output: the probe text and the spherical metadata for people, or
// one JSON object. Exit status 1 for a file that is not a movie.
int printMovieInfo(const std::string& path, bool json);

}  // namespace tarn
