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
void runStartup(Application& app, const std::filesystem::path& exeFolder,
                const StartupHooks& hooks = {});

// "MM-DD-YYYY HH:MM:SS", 24-hour clock: the second line of the run log.
std::string logDateTimeLine(const std::tm& localTime);

// Free bytes written with the mask "####.###.###.###" over the byte count divided by 10^9:
// the first point is the decimal point and the nine decimals are grouped in threes by further
// points, so the text shows every byte: 52345678912 -> "52.345.678.912", 512 -> "0.000.000.512".
// The integer part (whole 10^9 bytes) has no leading zeros beyond a single 0 and grows past four
// digits when it must.
std::string freeSpaceText(uint64_t freeBytes);

// The free-space log line for `folder`: freeSpaceText of the free bytes of the file system that
// holds it (the nearest existing folder above it when it is missing; 0 when none can be asked),
// followed by " bytes".
std::string freeSpaceLine(const std::string& folder);

}  // namespace tarn
