#include "shell/shutdown.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "shell/settings_file.h"
#include "shell/startup.h"
#include "support/recording_frontend.h"
#include "support/run_log_lines.h"
#include "support/test_media.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;
using test::logLines;

std::vector<std::string> exitLines(const fs::path& logPath) {
  std::vector<std::string> lines;
  for (const auto& line : logLines(logPath)) {
    if (line.starts_with("EXIT")) lines.push_back(line);
  }
  return lines;
}

class CountingGraph : public DecodeGraph {
 public:
  VideoFormat format() const override { return {}; }
  int64_t durationTicks() const override { return 0; }
  int64_t positionTicks() const override { return 0; }
  bool canStep() const override { return false; }
  void run() override {}
  void pause() override {}
  void stop() override { ++stops; }
  void seek(int64_t) override {}
  void setSampleCallback(SampleCallback*) override {}
  void setMuted(bool) override {}
  void useDefaultClock() override {}
  std::optional<int32_t> takeEvent() override { return std::nullopt; }
  bool copyCurrentFrame(uint8_t*, size_t) override { return false; }
  int stops = 0;
};

class ShutDown : public ::testing::Test {
 protected:
  void SetUp() override {
    frontend.setInstantYield(true);
    StartupHooks startupHooks;
    startupHooks.sleep = [](int) {};
    runStartup(app, exe.path(), startupHooks);
    app.frontend = &frontend;
    hooks.sleep = [this](int ms) { sleeps.push_back(ms); };
    hooks.stopAudioExtraction = [this] { ++audioStops; };
    hooks.requestConversionStop = [this] { ++conversionStops; };
  }
  test::ScratchDir exe;
  test::RecordingFrontend frontend;
  Application app;
  ShutDownHooks hooks;
  std::vector<int> sleeps;
  int audioStops = 0;
  int conversionStops = 0;
};

TEST_F(ShutDown, WithoutAMovieNothingIsSavedAndTheFullGracePeriodRuns) {
  ASSERT_EQ(app.settings.autoSave, 1);
  std::ofstream(exe / "TEMP" / "temp000000.bmp") << "x";
  app.frameSource.streamState = 2;

  EXPECT_EQ(shutDown(app, hooks), ShutDownOutcome::done);

  EXPECT_FALSE(fs::exists(exe / "TarnConverter.ini"));
  std::vector<int> expectedYields = {500, 500, 500};
  expectedYields.insert(expectedYields.end(), 21, 100);
  expectedYields.push_back(1);
  EXPECT_EQ(frontend.yields(), expectedYields);
  EXPECT_EQ(sleeps, (std::vector<int>{500, 100, 500})) << "no Stop calls without a graph";
  EXPECT_EQ(audioStops, 1);
  EXPECT_EQ(conversionStops, 1);
  EXPECT_EQ(app.frameSource.streamState.load(), 0);
  EXPECT_EQ(exitLines(app.paths.logPath), (std::vector<std::string>{"EXIT", "EXIT2", "EXIT3"}));
  EXPECT_FALSE(fs::exists(exe / "TEMP" / "temp000000.bmp"));
}

TEST_F(ShutDown, SavesWhenAMovieWasOpenedAndAutoSaveIsOnAndStopsTheGraphFiveTimes) {
  auto graph = std::make_shared<CountingGraph>();
  app.frameSource.graph = graph;
  app.frameSource.videoLoaded = 1;
  app.settings.bitRateIndex = 6;

  shutDown(app, hooks);
  EXPECT_EQ(graph->stops, 5);
  EXPECT_EQ(std::vector<int>(sleeps.begin(), sleeps.begin() + 5), std::vector<int>(5, 300));
  Settings saved;
  ASSERT_TRUE(loadSettings(app.paths.settingsPath, saved).complete());
  EXPECT_EQ(saved, app.settings);

  fs::remove(app.paths.settingsPath);
  app.settings.autoSave = 0;
  shutDown(app, hooks);
  EXPECT_FALSE(fs::exists(app.paths.settingsPath));
}

// Yields during the grace period let the window run handlers; one may ask to exit again.
class ReenteringFrontend : public test::RecordingFrontend {
 public:
  void yield(int milliseconds) override {
    RecordingFrontend::yield(milliseconds);
    if (app && !reentered) {
      reentered = true;
      EXPECT_EQ(app->frameSource.streamState.load(), 0) << "first yield comes before step 8";
      innerOutcome = shutDown(*app, *hooks);
    }
    if (milliseconds == 100 && app) {
      EXPECT_EQ(app->frameSource.streamState.load(), 1);
    }
  }
  Application* app = nullptr;
  const ShutDownHooks* hooks = nullptr;
  bool reentered = false;
  ShutDownOutcome innerOutcome = ShutDownOutcome::done;
};

TEST_F(ShutDown, ASecondCallWhileOneRunsDoesNothing) {
  ReenteringFrontend reentering;
  reentering.setInstantYield(true);
  reentering.app = &app;
  reentering.hooks = &hooks;
  app.frontend = &reentering;

  EXPECT_EQ(shutDown(app, hooks), ShutDownOutcome::done);
  EXPECT_TRUE(reentering.reentered);
  EXPECT_EQ(reentering.innerOutcome, ShutDownOutcome::alreadyRunning);
  EXPECT_EQ(exitLines(app.paths.logPath), (std::vector<std::string>{"EXIT", "EXIT2", "EXIT3"}));

  // The mark is cleared at the end: a later call runs again.
  EXPECT_EQ(shutDown(app, hooks), ShutDownOutcome::done);
  EXPECT_EQ(exitLines(app.paths.logPath).size(), 6u);
}

}  // namespace
}  // namespace tarn
