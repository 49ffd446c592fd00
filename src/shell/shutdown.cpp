#include "shell/shutdown.h"

#include "shell/settings_store.h"

namespace tarn {

ShutDownOutcome shutDown(Application& app, const ShutDownHooks& hooks) {
  if (app.shutDownRunning.exchange(1) != 0) return ShutDownOutcome::alreadyRunning;
  const auto sleep = [&hooks](int ms) {
    if (hooks.sleep) hooks.sleep(ms);
  };
  const auto yield = [&app, &sleep](int ms) {
    if (app.frontend) {
      app.frontend->yield(ms);
    } else {
      sleep(ms);
    }
  };
  FrameSourceState& source = app.frameSource;

  if (const auto graph = source.currentGraph()) {
    for (int i = 0; i < 5; ++i) {
      graph->stop();
      sleep(300);
    }
  }
  yield(500);

  if (hooks.stopAudioExtraction) hooks.stopAudioExtraction();
  yield(500);

  app.runLog.writeLog("EXIT");
  if (app.settings.autoSave != 0 && source.videoLoaded.load() == 1) {
    storeSettings(app);
  }

  if (hooks.requestConversionStop) hooks.requestConversionStop();
  yield(500);

  // Grace period for the playback loop, then its end.
  source.streamState.store(1);
  sleep(500);
  for (int i = 0; i < 21; ++i) {
    source.streamState.store(1);
    yield(100);
  }
  source.streamState.store(0);
  yield(1);
  sleep(100);

  app.runLog.writeLog("EXIT2");
  // A folder that another instance is converting in is left alone.
  deleteTempFilesIfFree(app.settings.tempStreamFolder, 0, app.aviCopies, sleep);
  app.runLog.writeLog("EXIT3");

  app.shutDownRunning.store(0);
  return ShutDownOutcome::done;
}

}  // namespace tarn
