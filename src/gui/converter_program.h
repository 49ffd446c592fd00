#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "gui/choosers.h"
#include "gui/window_core.h"
#include "shell/application.h"

namespace tarn {

class MainWindow;
class AudioDevice;
class Resources;
class SoundPlayer;
class WxFrontend;

// How a run of the window program is set up; tests change the folder, the splash and the
// choosers.
struct ProgramOptions {
  std::filesystem::path exeFolder;  // the program folder (PLUG-IN; settings, log, TEMP)
  // Where the settings, log and temporary files go; none: as the program folder calls for
  // (WorkingPaths::forProgram).
  std::optional<WorkingPaths> paths;
  // A movie to open once the main window is up, as Load Movie would ("tarn-converter FILE").
  std::string openAtStart;
  bool showSplash = true;
  std::unique_ptr<Choosers> choosers;  // null: the toolkit's dialogs
};

// One run of the window program: the application state, the frontend, the resources and the main
// window, with the start-up and exit sequences around them. Window thread only.
class ConverterProgram {
 public:
  explicit ConverterProgram(ProgramOptions options);
  ~ConverterProgram();
  ConverterProgram(const ConverterProgram&) = delete;
  ConverterProgram& operator=(const ConverterProgram&) = delete;

  // The start-up sequence through the main window shown and "Main Form Created Ok".
  MainWindow* start();
  // After the main window has ended: waits for the program's own threads.
  void finish();

  Application& app() { return app_; }
  WxFrontend& frontend() { return *frontend_; }
  const Resources& resources() const { return *resources_; }
  Choosers& choosers() { return *options_.choosers; }
  MainWindow* window() const { return window_; }  // null once the window has ended
  std::atomic<int32_t>& encoderRunningFlag() { return app_.encoderRuns.encoderRunning; }

 private:
  WindowCore makeCore();

  ProgramOptions options_;
  // Null where the machine has no audio device. Declared before the application state, so that
  // it outlives any graph still playing into it.
  std::unique_ptr<AudioDevice> audio_;
  Application app_;
  std::unique_ptr<Resources> resources_;
  std::unique_ptr<SoundPlayer> sound_;
  std::unique_ptr<WxFrontend> frontend_;
  std::unique_ptr<WindowCore> core_;
  MainWindow* window_ = nullptr;
};

}  // namespace tarn
