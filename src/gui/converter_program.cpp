#include "gui/converter_program.h"

#include <wx/app.h>

#include <cstdio>

#include "conversion/movie_info.h"
#include "encoding/encoder_runs.h"
#include "gui/audio_device.h"
#include "gui/choosers.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/sound_player.h"
#include "gui/widgets.h"
#include "gui/wx_frontend.h"
#include "input/open_movie.h"
#include "resources/resources.h"
#include "shell/conversion_context.h"
#include "shell/movie_loading.h"
#include "shell/settings_store.h"
#include "shell/shutdown.h"
#include "shell/startup.h"

namespace tarn {

ConverterProgram::ConverterProgram(ProgramOptions options) : options_(std::move(options)) {
  if (!options_.choosers) options_.choosers = makeToolkitChoosers();
}

ConverterProgram::~ConverterProgram() {
  finish();
}

WindowCore ConverterProgram::makeCore() {
  WindowCore core{app_.paths,
                  app_.runLog,
                  app_.settings,
                  app_.outputOptions,
                  app_.frameSource,
                  app_.logoFolder,
                  app_.frameSource.converting,
                  app_.conversionRun.conversionStopRequest,
                  app_.encoderRuns.encoderRunning};
  core.saveSettings = [this] { return storeSettings(app_); };
  core.shutDown = [this] {
    ShutDownHooks hooks;
    hooks.stopAudioExtraction = [this] { stopAudioExtraction(app_.encoderRuns); };
    hooks.requestConversionStop = [this] { app_.conversionRun.conversionStopRequest.store(1); };
    tarn::shutDown(app_, hooks);
  };
  core.clearMovieInfo = [this] { tarn::clearMovieInfo(*frontend_, app_.frameSource); };
  core.stopGraphBeforeMovieChooser = [this] {
    FrameSourceContext context = frameSourceContext(app_, *frontend_);
    stopGraphBeforeChooser(context);
  };
  core.loadChosenMovie = [this](const std::string& path) {
    FrameSourceContext context = frameSourceContext(app_, *frontend_);
    tarn::loadChosenMovie(context, path, app_.paths.exeFolder, app_.paths.probeFolder);
  };
  core.endMovieChoice = [this] {
    FrameSourceContext context = frameSourceContext(app_, *frontend_);
    tarn::endMovieChoice(context);
  };
  core.clearLogo = [this] { tarn::clearLogo(app_.logo, *frontend_); };
  core.acceptLogo = [this](const std::string& path) {
    tarn::acceptLogo(app_.logo, *frontend_, path);
  };
  core.convertMovie = [this](const std::string& outputPath) {
    ConversionContext context = conversionContext(app_, *frontend_);
    frontend_->runNotice().started();
    tarn::convertMovie(context, outputPath);
    frontend_->runNotice().finished();
  };
  return core;
}

MainWindow* ConverterProgram::start() {
  installCompactControlStyle();
  resources_ = Resources::draw();
  audio_ = AudioDevice::open();
  sound_ = std::make_unique<SoundPlayer>(audio_.get());
  app_.movieSound = audio_.get();
  frontend_ = std::make_unique<WxFrontend>(*resources_);
  app_.frontend = frontend_.get();

  StartupHooks hooks;
  if (options_.showSplash) {
    hooks.showSplash = [this](Application&) {
      SplashWindow splash(*resources_);
      splash.ShowModal();
    };
  }
  // A log that cannot be written is reported once the window is up; never from inside a write.
  app_.runLog.setFailureReport([this](const std::string& text) {
    wxTheApp->CallAfter([this, text] {
      frontend_->showMessage(text, "Error", MessageIcon::warning, MessageButtons::ok);
    });
  });
  runStartup(app_, options_.paths ? *options_.paths : WorkingPaths::forProgram(options_.exeFolder),
             hooks);

  core_ = std::make_unique<WindowCore>(makeCore());
  window_ = new MainWindow(*core_, {*resources_, *sound_, *options_.choosers, *frontend_});
  window_->Bind(wxEVT_DESTROY, [this](wxWindowDestroyEvent& event) {
    event.Skip();
    if (event.GetEventObject() != window_) return;
    frontend_->attach(nullptr);
    window_ = nullptr;
  });
  frontend_->attach(window_);
  app_.runLog.writeLog("Main Form Created Ok");
  window_->Show();
  if (!options_.openAtStart.empty()) {
    const std::string path = options_.openAtStart;
    window_->CallAfter([this, path] {
      if (window_ && !window_->openMovieFile(path)) {
        std::fprintf(stderr, "tarn-converter: not a movie the converter opens: %s\n", path.c_str());
      }
    });
  }
  return window_;
}

void ConverterProgram::finish() {
  if (window_) {
    window_->workers().joinAll();
  }
}

}  // namespace tarn
