#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include "shell/application.h"

namespace tarn {

struct StartupHooks {
  // The modal splash window; start-up goes on when it returns. None on the console or in tests.
  std::function<void(Application&)> showSplash;
  // Plain sleeps on the calling thread (the pause of the temporary-file cleanup).
  std::function<void(int)> sleep = sleepMilliseconds;
};

// The start-up sequence up to, not including, building the main window: working paths and the
// TEMP folder, a fresh run log with its header lines, the defaults, the splash (through `hooks`),
// the resampler tables, the settings file, the temporary-file cleanup and the four folder lines
// of the log. The caller then builds and runs its window (and logs "Main Form Created Ok").
// Every failure is ignored, as start-up must always reach the window.
// With `paths`, the files go where they say (WorkingPaths::forProgram decides for a real run);
// with a folder, everything lives beside the executable in it.
void runStartup(Application& app, const WorkingPaths& paths, const StartupHooks& hooks = {});
void runStartup(Application& app, const std::filesystem::path& exeFolder,
                const StartupHooks& hooks = {});

// "MM-DD-YYYY HH:MM:SS", 24-hour clock: the second line of the run log.
std::string logDateTimeLine(const std::tm& localTime);

}  // namespace tarn
