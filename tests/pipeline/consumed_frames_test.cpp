// Frame files consumed by the encoder: a temporary folder that holds only a few frames still gives
// the whole movie (and its re-export, made again from the movie), never holds more frame files
// than the window allows, and Stop leaves nothing behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/free_space.h"
#include "conversion/conversion_run.h"
#include "encoding/temp_cleanup.h"
#include "support/conversion_rig.h"
#include "support/recording_frontend.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

int frameFilesIn(const fs::path& folder) {
  int count = 0;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (isFrameFileName(it->path().filename().string())) ++count;
  }
  return count;
}

// Counts the frame files in a folder from a thread of its own, as often as it can, and keeps the
// highest count seen.
class FolderWatcher {
 public:
  explicit FolderWatcher(fs::path folder)
      : folder_(std::move(folder)), thread_([this] {
          while (!stop_) {
            const int count = frameFilesIn(folder_);
            if (count > most_) most_ = count;
            std::this_thread::sleep_for(200us);
          }
        }) {}
  ~FolderWatcher() { finish(); }
  int finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return most_;
  }

 private:
  fs::path folder_;
  std::atomic<bool> stop_{false};
  std::atomic<int> most_{0};
  std::thread thread_;
};

// Everything in `folder` apart from `keep` (staged outputs, reports, frames, sound).
std::vector<std::string> strayFiles(const fs::path& folder, const std::vector<std::string>& keep) {
  std::vector<std::string> stray;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && std::find(keep.begin(), keep.end(), name) == keep.end()) {
      stray.push_back(name);
    }
  }
  return stray;
}

// The re-encode dialog also picks "Resize 50%", as its resize list does at once; Stop can be
// pressed once a given frame of the re-export is made.
class ReexportFrontend : public test::RecordingFrontend {
 public:
  explicit ReexportFrontend(test::ConversionRig& rig) : rig_(rig) {}
  int stopRunAt = -1;
  int stopReexportAt = -1;

  std::string showReencodeDialog(const std::string& currentPath) override {
    reexporting_ = true;
    rig_.app.outputOptions.resizeIndex = 5;
    return RecordingFrontend::showReencodeDialog(currentPath);
  }
  void drawFramePreview(const PreviewFrame& frame) override {
    RecordingFrontend::drawFramePreview(frame);
    const int32_t number = rig_.app.conversionRun.frameNumber;
    const int stopAt = reexporting_ ? stopReexportAt : stopRunAt;
    if (number == stopAt) rig_.app.conversionRun.conversionStopRequest = 1;
  }

 private:
  test::ConversionRig& rig_;
  std::atomic<bool> reexporting_{false};
};

class ConsumedFrames : public ::testing::Test {
 protected:
  static constexpr int kWindow = 5;

  void SetUp() override {
    rig.useRealEncoderTool();
    ASSERT_TRUE(rig.openMovie(test::stripMovie(320, 80, 4)));  // 100 frames of 320 x 160
    // A folder with room for the sound and five frame files beside it, on a large file system
    // (so the margin would be 5 GB): the frames are consumed within a window of five.
    const uint64_t frame = frameFilesBytes(320, 1);
    const uint64_t room = 44 + 4 * 44100 * 4 + kWindow * frame + frame / 2;
    rig.app.conversionRun.tempFolderSpace = [room](const std::string&) {
      return std::optional<FolderSpace>(FolderSpace{room, room, 1'000'000'000'000});
    };
  }

  test::ConversionRig rig;
};

// The same two encodes of the same movie with every frame file kept: what the consumed ones must
// give.
struct KeptResult {
  int firstFrames = -1;
  int secondFrames = -1;
};

KeptResult keptFramesResult() {
  test::ConversionRig kept;
  kept.useRealEncoderTool();
  EXPECT_TRUE(kept.openMovie(test::stripMovie(320, 80, 4)));
  kept.app.conversionRun.tempFolderSpace = [](const std::string&) {
    return std::optional<FolderSpace>(
        FolderSpace{1'000'000'000'000, 1'000'000'000'000, 2'000'000'000'000});
  };
  ReexportFrontend frontend(kept);
  frontend.queueAnswer(MessageAnswer::ok);
  frontend.queueReencodePath((kept.dir / "second.avi").string());
  frontend.queueAnswer(MessageAnswer::cancel);
  EXPECT_EQ(kept.convert(frontend, (kept.dir / "first.mp4").string()),
            ConversionOutcome::converted);
  EXPECT_NE(kept.log().find("Frame files: kept for another compression\r\n"), std::string::npos);
  return {test::decodedFrames(kept.dir / "first.mp4"),
          test::decodedFrames(kept.dir / "second.avi")};
}

TEST_F(ConsumedFrames, AFolderForAFewFramesGivesTheWholeMovieAndItsReExportFromTheMovie) {
  const KeptResult kept = keptFramesResult();
  ASSERT_GT(kept.firstFrames, 0);
  ReexportFrontend frontend(rig);
  const fs::path first = rig.dir / "first.mp4";
  const fs::path second = rig.dir / "second.avi";
  frontend.queueAnswer(MessageAnswer::ok);  // success: once more
  frontend.queueReencodePath(second.string());
  frontend.queueAnswer(MessageAnswer::cancel);

  FolderWatcher watcher(rig.tempFolder());
  EXPECT_EQ(rig.convert(frontend, first.string()), ConversionOutcome::converted);
  const int most = watcher.finish();
  EXPECT_GT(most, 0);
  EXPECT_LE(most, kWindow);

  // Every frame and the sound, in both movies; the re-export at the size it asked for.
  EXPECT_EQ(test::decodedFrames(first), kept.firstFrames);
  EXPECT_EQ(test::probeField(first, "v", "width"), "320");
  EXPECT_EQ(test::probeField(first, "v", "height"), "160");
  EXPECT_EQ(test::probeField(first, "a", "codec_type"), "audio");
  EXPECT_EQ(test::decodedFrames(second), kept.secondFrames);
  EXPECT_EQ(test::probeField(second, "v", "width"), "160");
  EXPECT_EQ(test::probeField(second, "v", "height"), "80");
  EXPECT_EQ(test::probeField(second, "a", "codec_type"), "audio");

  const std::string log = rig.log();
  EXPECT_NE(log.find("Frame files: consumed by the encoder, at most 5 on disk\r\n"),
            std::string::npos)
      << log;
  // The re-export has the export's log lines and window.
  size_t encodes = 0;
  for (size_t at = log.find("\r\nFFMPEG : "); at != std::string::npos;
       at = log.find("\r\nFFMPEG : ", at + 1)) {
    ++encodes;
  }
  EXPECT_EQ(encodes, 2u);
  EXPECT_EQ(frontend.progressWindowsOpened(), 2);
  EXPECT_TRUE(strayFiles(rig.tempFolder(), {}).empty());
  EXPECT_TRUE(strayFiles(rig.dir.path(), {"first.mp4", "second.avi", "TarnConverter.log"}).empty());
}

TEST_F(ConsumedFrames, StopDuringTheRunOrDuringAReExportFromTheMovieLeavesNothing) {
  {
    ReexportFrontend frontend(rig);
    frontend.stopRunAt = 40;
    EXPECT_EQ(rig.convert(frontend, (rig.dir / "stopped.mp4").string()),
              ConversionOutcome::stopped);
    EXPECT_EQ(frontend.progressWindowsOpened(), 0);
    EXPECT_TRUE(strayFiles(rig.tempFolder(), {}).empty());
    EXPECT_TRUE(strayFiles(rig.dir.path(), {"TarnConverter.log"}).empty());
  }
  {
    // As the Convert command: the movie from its start.
    rig.app.frameSource.currentGraph()->stop();
    rig.app.frameSource.currentGraph()->seek(0);
    ReexportFrontend frontend(rig);
    frontend.stopReexportAt = 40;
    frontend.queueAnswer(MessageAnswer::ok);
    frontend.queueReencodePath((rig.dir / "again.webm").string());
    EXPECT_EQ(rig.convert(frontend, (rig.dir / "kept.mp4").string()), ConversionOutcome::converted);
    EXPECT_GE(test::decodedFrames(rig.dir / "kept.mp4"), 100);
    EXPECT_FALSE(fs::exists(rig.dir / "again.webm"));
    // No further question after the Stop.
    EXPECT_EQ(frontend.messages().size(), 1u);
    EXPECT_TRUE(strayFiles(rig.tempFolder(), {}).empty());
    EXPECT_TRUE(strayFiles(rig.dir.path(), {"kept.mp4", "TarnConverter.log"}).empty());
  }
}

}  // namespace
}  // namespace tarn
