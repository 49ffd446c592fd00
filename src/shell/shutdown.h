#pragma once

#include <functional>

#include "shell/application.h"

namespace tarn {

// Exit steps that belong to other subsystems; each may be left empty until its part exists.
struct ShutDownHooks {
  // Terminates a recorded sound extraction run; does nothing when none is recorded.
  std::function<void()> stopAudioExtraction;
  // Asks a running conversion to end at its next check (its stop-request flag set to 1).
  std::function<void()> requestConversionStop;
  // Plain sleeps on the calling thread; yields go through the frontend (plain sleeps without one).
  std::function<void(int)> sleep = sleepMilliseconds;
};

enum class ShutDownOutcome { alreadyRunning = 1, done };

// The exit sequence, on the window thread: stops the decode graph, ends a sound extraction, logs
// "EXIT", saves the settings when autoSave is on and a movie was opened, asks a conversion and the
// playback loop to end with their grace periods, logs "EXIT2", empties the temporary folder and
// logs "EXIT3". A call made while one runs returns at once.
ShutDownOutcome shutDown(Application& app, const ShutDownHooks& hooks = {});

}  // namespace tarn
