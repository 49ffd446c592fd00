// Frame files in the window: a movie whose frames do not fit into the temporary folder converts
// with consumed frame files and its re-export makes them again from the movie; a movie that fits
// keeps its frames, and its re-export reads those same files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "common/free_space.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui_harness.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Watches the temporary folder from a thread of its own: the most frame files seen at once, and
// how often the first frame file appeared (a frame stage that runs again writes it anew).
class TempWatcher {
 public:
  explicit TempWatcher(fs::path folder)
      : folder_(std::move(folder)), thread_([this] {
          while (!stop_) look();
        }) {}
  ~TempWatcher() { finish(); }
  void finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int most() const { return most_; }
  size_t firstFrameFiles() const { return firstFrames_; }

 private:
  void look() {
    int count = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.rfind("temp", 0) == 0 && name.size() > 8 && name.ends_with(".bmp")) ++count;
    }
    most_ = std::max(most_.load(), count);
    struct stat info {};
    const bool present = ::stat((folder_ / "temp000000.bmp").c_str(), &info) == 0;
    if (present && !firstFramePresent_) ++firstFrames_;
    firstFramePresent_ = present;
    std::this_thread::sleep_for(300us);
  }

  fs::path folder_;
  std::atomic<bool> stop_{false};
  std::atomic<int> most_{0};
  bool firstFramePresent_ = false;
  std::atomic<size_t> firstFrames_{0};
  std::thread thread_;
};

struct Result {
  int mostFrameFiles = 0;
  size_t firstFrameFiles = 0;
  int frameFilesAtDialog = -1;
};

// Loads the movie, converts it to `output`, re-exports at half size to `again`, with the
// temporary folder's free space given by `available`.
Result convertAndReexport(const fs::path& movie, const fs::path& output, const fs::path& again,
                          uint64_t available, ProgramFolder& folder) {
  DialogAnswers answers;
  Result result;
  RunningProgram running(folder);
  Application& app = running.program->app();
  app.conversionRun.tempFolderSpace = [available](const std::string&) {
    return std::optional<FolderSpace>(FolderSpace{available, available, 1'000'000'000'000});
  };
  loadAndPlay(running, movie, "320x80");
  answers.queue(wxID_OK);
  answers.queue(wxID_CANCEL);
  const fs::path temp = app.settings.tempStreamFolder;
  answers.onDialog([&](wxDialog* shown) -> int {
    auto* dialog = dynamic_cast<ReencodeDialog*>(shown);
    if (!dialog) return wxID_CANCEL;
    result.frameFilesAtDialog = 0;
    for (const std::string& name : tempStreamFiles(temp)) {
      if (name.ends_with(".bmp")) ++result.frameFilesAtDialog;
    }
    dialog->chooseResize(5);
    running.choosers->files.push_back(again.string());
    dialog->selectFilePath();
    dialog->pressSave();
    return 2002;
  });
  TempWatcher watcher(temp);
  running.choosers->files.push_back(output.string());
  running.window->runCommand(command::convert);
  watcher.finish();
  result.mostFrameFiles = watcher.most();
  result.firstFrameFiles = watcher.firstFrameFiles();
  EXPECT_TRUE(running.closeConfirmed(answers));
  return result;
}

fs::path fiveSecondMovie() {
  return generatedMedia(
      "gui_strip_5s.mp4",
      "-f lavfi -i testsrc2=size=320x80:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
      "-t 5 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest");
}

TEST(ConsumedFramesWindowTest, FramesThatDoNotFitAreConsumedAndTheReExportDecodesAgain) {
  const fs::path movie = fiveSecondMovie();
  ASSERT_FALSE(movie.empty());
  ProgramFolder folder;
  const fs::path output = folder.path() / "wide.mp4";
  const fs::path again = folder.path() / "again.avi";
  // Room for the sound and four frame files of 320 x 160.
  const uint64_t frame = 54 + 320 * 160 * 4;
  const Result result =
      convertAndReexport(movie, output, again, 44 + 5 * 44100 * 4 + 4 * frame + 10, folder);
  EXPECT_GT(result.mostFrameFiles, 0);
  EXPECT_LE(result.mostFrameFiles, 4);
  EXPECT_EQ(result.frameFilesAtDialog, 0);  // consumed by the first encode
  EXPECT_EQ(result.firstFrameFiles, 2u);    // the frame stage ran again for the re-export
  expectWholeMovie(movie, output);
  expectWholeMovie(movie, again);
  EXPECT_NE(folder.log().find("Frame files: consumed by the encoder, at most 4 on disk\r\n"),
            std::string::npos);
  EXPECT_TRUE(tempStreamFiles(folder.path() / "TEMP").empty());
}

TEST(ConsumedFramesWindowTest, FramesThatFitAreKeptAndReadAgainWithoutDecoding) {
  const fs::path movie = fiveSecondMovie();
  ASSERT_FALSE(movie.empty());
  ProgramFolder folder;
  const fs::path output = folder.path() / "kept.mp4";
  const fs::path again = folder.path() / "again.webm";
  const Result result = convertAndReexport(movie, output, again, 1'000'000'000'000, folder);
  EXPECT_EQ(result.mostFrameFiles, 125);
  EXPECT_EQ(result.frameFilesAtDialog, 125);
  EXPECT_EQ(result.firstFrameFiles, 1u);  // written once, read by both encodes
  expectWholeMovie(movie, output);
  expectWholeMovie(movie, again);
  EXPECT_NE(folder.log().find("Frame files: kept for another compression\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tarn::test
