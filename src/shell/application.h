#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "common/frontend.h"
#include "common/paths.h"
#include "common/run_log.h"
#include "common/settings.h"
#include "conversion/conversion_run_state.h"
#include "conversion/frame_geometry.h"
#include "conversion/logo_picture.h"
#include "conversion/resampler.h"
#include "encoding/encoder_runs.h"
#include "encoding/temp_cleanup.h"
#include "input/frame_source_state.h"
#include "input/sound_output.h"

namespace tarn {

// The process-wide state of the converter: one instance, created by the program entry and passed
// to whatever needs it. A plain aggregate of owned records; each subsystem adds its record here.
struct Application {
  WorkingPaths paths;
  RunLog runLog;
  Settings settings;
  OutputOptions outputOptions;
  ResampleTables resampleTables;
  FrameSourceState frameSource;
  OwnAviCopies aviCopies;
  FrameGeometry frameGeometry;
  LogoPicture logo;
  ConversionRunState conversionRun;
  EncoderRuns encoderRuns;

  std::string logoFolder;  // starting folder of the logo chooser
  std::string lensName;    // shown in the preview after " Lens uses = "

  // The window (or console, or test fake). May be null before a front end exists.
  Frontend* frontend = nullptr;
  // Where a playing movie's sound goes (the window's audio device). Null: movies play silently.
  SoundOutput* movieSound = nullptr;

  // 1 while shutDown runs.
  std::atomic<int32_t> shutDownRunning{0};
};

}  // namespace tarn
