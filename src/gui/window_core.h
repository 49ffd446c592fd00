#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "common/paths.h"
#include "common/run_log.h"
#include "common/settings.h"
#include "input/frame_source_state.h"

namespace tarn {

// Everything of the core that the main window reads, writes and calls: the owned records and the
// entry points of the other subsystems. The program fills it from its application state; an
// entry point left empty does nothing (the command goes on without it).
struct WindowCore {
  WorkingPaths& paths;
  RunLog& runLog;
  Settings& settings;
  OutputOptions& outputOptions;
  FrameSourceState& frameSource;
  std::string& logoFolder;
  std::atomic<int32_t>& converting;
  std::atomic<int32_t>& conversionStopRequest;
  std::atomic<int32_t>& encoderRunning;

  std::function<bool()> saveSettings{};
  std::function<void()> shutDown{};
  std::function<void()> clearMovieInfo{};
  // Window thread, before the movie chooser: stops the open graph (with its log lines).
  std::function<void()> stopGraphBeforeMovieChooser{};
  // Movie-load thread: probes and opens the chosen movie; returns when it is closed again.
  std::function<void(const std::string& path)> loadChosenMovie{};
  // Movie-load thread, after every movie choice: streaming ends and the frame buffers blank.
  std::function<void()> endMovieChoice{};
  // Window thread: the logo command's clearing; logo thread: decode and check the chosen file.
  std::function<void()> clearLogo{};
  std::function<void(const std::string& path)> acceptLogo{};
  // Window thread: one whole conversion run for the chosen output path.
  std::function<void(const std::string& outputPath)> convertMovie{};
};

}  // namespace tarn
