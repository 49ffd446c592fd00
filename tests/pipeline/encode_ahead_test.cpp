// The main encode started while the frames are still written: adopted by the export when the
// settings are unchanged, redone when they changed, abandoned without a movie on Stop.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "conversion/conversion_run.h"
#include "support/conversion_rig.h"
#include "support/recording_frontend.h"
#include "support/recording_tool.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Records every run, and for a main encode how many frame files existed when it started, then
// hands over to the real encoder tool.
void installCountingRealTool(test::ConversionRig& rig) {
  const std::string temp = rig.tempFolder().string();
  const std::string counts = (rig.dir / "frames-at-start.txt").string();
  const std::string real = (test::binDir() / "PLUG-IN" / "ffmpeg_III.exe").string();
  test::installRecordingTool(rig.dir.path(), "case \"$*\" in *%06d*) ls '" + temp +
                                                 "' | grep -c '^temp[0-9]*\\.bmp$' >> '" + counts +
                                                 "';; esac\nexec '" + real + "' \"$@\"");
}

std::vector<int> framesAtStart(const test::ConversionRig& rig) {
  std::vector<int> counts;
  std::ifstream in(rig.dir / "frames-at-start.txt");
  for (int count = 0; in >> count;) counts.push_back(count);
  return counts;
}

// Paces the frames (so that decoding outlasts the sound extraction) and can change a setting or
// press Stop once a given number of frames is through.
class PacedFrontend : public test::RecordingFrontend {
 public:
  explicit PacedFrontend(test::ConversionRig& rig) : rig_(rig) {}
  int changeCodecModeAt = -1;
  int stopAt = -1;

  void drawFramePreview(const PreviewFrame& frame) override {
    RecordingFrontend::drawFramePreview(frame);
    if (!frame.converting) return;
    const int32_t number = rig_.app.conversionRun.frameNumber;
    // Hold the frames until the sound is out: the encode can only start after that.
    if (number == 10) {
      for (int turn = 0; turn < 1000 && rig_.app.encoderRuns.audioRunning == 1; ++turn) {
        std::this_thread::sleep_for(10ms);
      }
    }
    std::this_thread::sleep_for(15ms);
    if (number == stopAt) rig_.app.conversionRun.conversionStopRequest = 1;
  }
  void yield(int milliseconds) override {
    RecordingFrontend::yield(milliseconds);
    // Settings change on the window thread, as from a menu.
    if (changeCodecModeAt >= 0 && rig_.app.conversionRun.frameNumber >= changeCodecModeAt) {
      changeCodecModeAt = -1;
      rig_.app.settings.codecModeIndex = 0;
    }
  }

 private:
  test::ConversionRig& rig_;
};

std::vector<std::vector<std::string>> mainEncodes(const test::ConversionRig& rig) {
  std::vector<std::vector<std::string>> runs;
  for (auto& run : test::recordedRuns(rig.dir.path())) {
    if (run.size() > 3 && run[3].find("%06d") != std::string::npos) runs.push_back(run);
  }
  return runs;
}

class EncodeAhead : public ::testing::Test {
 protected:
  void SetUp() override {
    installCountingRealTool(rig_);
    rig_.app.settings.codecModeIndex = 1;
    ASSERT_TRUE(rig_.openMovie(test::stripMovie(320, 80, 4)));
  }
  void expectWholeMovie(const fs::path& output) {
    EXPECT_EQ(test::probeField(output, "v", "width"), "320");
    EXPECT_EQ(test::probeField(output, "v", "height"), "160");
    // 4 s at the output's 30 frames per second.
    EXPECT_NEAR(std::stoi(test::probeField(output, "v", "nb_frames")), 120, 1);
    EXPECT_EQ(test::probeField(output, "a", "codec_name"), "aac");
  }
  test::ConversionRig rig_;
};

TEST_F(EncodeAhead, TheExportAdoptsTheEncodeOfTheSameSettings) {
  PacedFrontend frontend(rig_);
  const fs::path output = rig_.dir / "out.mp4";
  ASSERT_EQ(rig_.convert(frontend, output.string()), ConversionOutcome::converted);

  ASSERT_EQ(mainEncodes(rig_).size(), 1u);
  const std::vector<int> counts = framesAtStart(rig_);
  ASSERT_EQ(counts.size(), 1u);
  EXPECT_LT(counts[0], 100) << "started while frames were still written";
  expectWholeMovie(output);
  ASSERT_EQ(frontend.messages().size(), 1u);
  EXPECT_EQ(frontend.messages()[0].caption, "Successful termination");
  const std::string log = rig_.log();
  EXPECT_EQ(log.find("FFMPEG : "), log.rfind("FFMPEG : ")) << "one encode in the run log";
  EXPECT_LT(log.find("ConvertRectExport Begin"), log.find("FFMPEG : "));
}

TEST_F(EncodeAhead, ChangedSettingsMakeTheExportEncodeAgain) {
  PacedFrontend frontend(rig_);
  frontend.changeCodecModeAt = 60;
  const fs::path output = rig_.dir / "out.mp4";
  ASSERT_EQ(rig_.convert(frontend, output.string()), ConversionOutcome::converted);

  const auto runs = mainEncodes(rig_);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_NE(runs[0], runs[1]);
  EXPECT_EQ(framesAtStart(rig_).back(), 100);
  expectWholeMovie(output);
}

TEST_F(EncodeAhead, StopAbandonsTheEncodeAndLeavesNoMovie) {
  PacedFrontend frontend(rig_);
  frontend.stopAt = 60;
  const fs::path output = rig_.dir / "out.mp4";
  ASSERT_EQ(rig_.convert(frontend, output.string()), ConversionOutcome::stopped);

  EXPECT_EQ(framesAtStart(rig_).size(), 1u) << "the encode had started";
  EXPECT_FALSE(fs::exists(output));
  EXPECT_TRUE(frontend.messages().empty());
  // Neither the tool nor its ffmpeg runs on.
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream cmdline(entry.path() / "cmdline", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(cmdline), {}};
    EXPECT_EQ(text.find(output.string()), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace tarn
