#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/free_space.h"
#include "conversion/conversion_run.h"
#include "conversion/movie_info.h"
#include "conversion/on_frame.h"
#include "conversion/output_path_check.h"
#include "shell/application.h"
#include "shell/conversion_context.h"
#include "support/recording_frontend.h"
#include "support/test_media.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(OutputPathCheck, TheMovieIsRecognisedByAnySpelling) {
  test::ScratchDir dir;
  fs::create_directories(dir / "sub");
  const fs::path movie = dir / "movie.mp4";
  std::ofstream(movie) << "movie";
  fs::create_symlink(movie, dir / "link.mp4");
  const std::string moviePath = movie.string();

  EXPECT_TRUE(isSameFileAsMovie(moviePath, moviePath));
  EXPECT_TRUE(isSameFileAsMovie("  " + moviePath + " ", moviePath));
  EXPECT_TRUE(isSameFileAsMovie((dir / "sub" / ".." / "movie.mp4").string(), moviePath));
  EXPECT_TRUE(isSameFileAsMovie((dir / "link.mp4").string(), moviePath));
  EXPECT_TRUE(isSameFileAsMovie(moviePath, (dir / "link.mp4").string()));
  const fs::path before = fs::current_path();
  fs::current_path(dir / "sub");
  EXPECT_TRUE(isSameFileAsMovie("../movie.mp4", moviePath));
  EXPECT_FALSE(isSameFileAsMovie("../movie_Unwrapped.mp4", moviePath));
  fs::current_path(before);
  EXPECT_FALSE(isSameFileAsMovie((dir / "other.mp4").string(), moviePath));
  EXPECT_FALSE(isSameFileAsMovie((dir / "sub" / "movie.mp4").string(), moviePath));
}

TEST(ConversionTexts, RatesSpaceAndTimes) {
  EXPECT_EQ(framesPerSecondText(333667), "29.97");
  EXPECT_EQ(framesPerSecondText(2000000), "05.00");
  EXPECT_EQ(framesPerSecondText(0), "00.00");
  EXPECT_EQ(frameFilesBytes(1920, 600), uint64_t{7372854} * 600);
  EXPECT_EQ(frameFilesBytes(1920, 0), 0u);
  EXPECT_EQ(frameFilesBytes(0, 100), 0u);
  // 30 frames in 3 s of a 600-frame movie: 0.0333 * 3 * 600 = 59.94 -> 60 s.
  EXPECT_EQ(estimatedTimeText(3.0, 600), "00:01:00");
  EXPECT_EQ(estimatedTimeText(3.0, 0), "00:00:00");
  EXPECT_EQ(elapsedTimeText(75.4), "00:01:15");
  EXPECT_EQ(elapsedTimeText(360000), "100:00:0");
  EXPECT_EQ(elapsedTimeText(-2), "00:00:00");
  EXPECT_TRUE(folderSpace("/").has_value());
  EXPECT_TRUE(folderSpace("/no/such/folder/at/all").has_value());
}

struct RefusalFixture : ::testing::Test {
  test::ScratchDir dir;
  Application app;
  test::RecordingFrontend frontend;
  void SetUp() override {
    app.runLog.setPath(dir / "run.log");
    app.paths = WorkingPaths::forExeFolder(dir.path());
    app.settings.tempStreamFolder = (dir / "TEMP").string();
  }
  ConversionOutcome convert(const std::string& output) {
    ConversionContext context = conversionContext(app, frontend);
    return convertMovie(context, output);
  }
};

TEST_F(RefusalFixture, NoMovieOrTheMovieItselfAsOutputIsRefusedBeforeAnythingIsTouched) {
  std::ofstream(dir / "old.mp4") << "old output";
  EXPECT_EQ(convert((dir / "old.mp4").string()), ConversionOutcome::refused);
  ASSERT_EQ(frontend.messages().size(), 1u);
  EXPECT_EQ(frontend.messages()[0].text, "Video file not found!");
  EXPECT_EQ(frontend.messages()[0].caption, "Error Monitoring");
  EXPECT_EQ(frontend.messages()[0].icon, MessageIcon::error);
  EXPECT_EQ(app.frameSource.converting, 0);

  app.frameSource.moviePath = (dir / "old.mp4").string();
  EXPECT_EQ(convert((dir / "." / "old.mp4").string() + " "), ConversionOutcome::refused);
  ASSERT_EQ(frontend.messages().size(), 2u);
  EXPECT_EQ(frontend.messages()[1].text, "Incorrect name of output file");
  EXPECT_EQ(readAll(dir / "old.mp4"), "old output");

  // No open graph: the run ends silently after its first log lines.
  EXPECT_EQ(convert((dir / "new.mp4").string()), ConversionOutcome::failed);
  EXPECT_EQ(frontend.messages().size(), 2u);
  const std::string log = readAll(dir / "run.log");
  EXPECT_EQ(log.rfind("Convert Movie Begin ", 0), 0u);
  EXPECT_NE(log.find("\r\nOutput file " + (dir / "old.mp4").string() +
                     "\r\nOutput Folder Free "
                     "Space:\r\n"),
            std::string::npos);
  EXPECT_EQ(log.find("Set Stream to 0 position"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "TEMP"));
}

}  // namespace
}  // namespace tarn
