#include "shell/movie_loading.h"

#include <gtest/gtest.h>

#include <thread>

#include "input/frame_rate.h"
#include "shell/application.h"
#include "support/numbered_movies.h"
#include "support/recording_frontend.h"
#include "support/test_media.h"

namespace tarn {
namespace {

TEST(MovieLoading, ProbesOpensAndPreviewsAChosenMovie) {
  test::ScratchDir dir;
  auto app = std::make_unique<Application>();
  app->paths = WorkingPaths::forExeFolder(test::binDir());
  app->runLog.setPath(dir / "TarnConverter.log");
  test::RecordingFrontend frontend;
  const std::string path =
      test::numberedMoviePath(test::numberedMovie("numbered-1001.mp4")).string();

  probeChosenMovie(*app, path);
  EXPECT_DOUBLE_EQ(probeFrameRate(app->frameSource.probeText.get()), 25.0);

  std::thread loader([&] { openChosenMovie(*app, frontend, path); });
  // Wait until the preview refresh has sized the canvas's frame copy for the movie.
  for (int turn = 0; turn < 6000 && frontend.previewFrames() == 0; ++turn) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  app->frameSource.streamState = 0;
  loader.join();

  EXPECT_GT(frontend.previewFrames(), 0);
  EXPECT_EQ(app->frameGeometry.frameWidth, 1001);
  EXPECT_EQ(app->frameGeometry.frameHeight, 41);
  EXPECT_EQ(frontend.infoLabel(InfoLabel::duration), "00:00:02.000");
  EXPECT_EQ(frontend.infoLabel(InfoLabel::fpsRate), "25.00 fps");
  EXPECT_EQ(frontend.infoLabel(InfoLabel::doughnutSize), " 1001x41");
  EXPECT_EQ(app->frameSource.moviePath.get(), path);
  EXPECT_EQ(app->frameSource.currentGraph(), nullptr);
}

}  // namespace
}  // namespace tarn
