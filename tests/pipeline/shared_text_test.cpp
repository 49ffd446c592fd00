// The loaded movie's path and description, written by the movie-load thread while the window
// thread reads them (run under TSan).
#include <gtest/gtest.h>

#include <thread>

#include "input/frame_source_state.h"

namespace tarn {
namespace {

TEST(SharedTextTest, ReadersSeeWholeTextsWhileAnotherThreadWritesThem) {
  FrameSourceState state;
  const std::string shortPath = "/movies/a.mp4";
  const std::string longPath = "/movies/" + std::string(300, 'b') + ".mp4";
  std::thread loader([&] {
    for (int turn = 0; turn < 2000; ++turn) {
      state.moviePath = turn % 2 == 0 ? shortPath : longPath;
      state.probeText = turn % 2 == 0 ? " Video file: a.mp4\r\n" : std::string(500, 'x');
      if (turn % 7 == 0) state.probeText.clear();
    }
  });
  for (int turn = 0; turn < 2000; ++turn) {
    const std::string path = state.moviePath;
    const std::string text = state.probeText.get();
    EXPECT_TRUE(path.empty() || path == shortPath || path == longPath);
    EXPECT_TRUE(text.empty() || text == " Video file: a.mp4\r\n" || text == std::string(500, 'x'));
    const std::string trimmed = trimBlanks(state.moviePath);
    EXPECT_TRUE(trimmed.empty() || trimmed == shortPath || trimmed == longPath);
  }
  loader.join();
  EXPECT_EQ(state.moviePath.get(), longPath);
}

}  // namespace
}  // namespace tarn
