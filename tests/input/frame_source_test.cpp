#include "input/frame_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/run_log.h"
#include "input/frame_source_state.h"
#include "input/open_movie.h"
#include "support/numbered_movies.h"
#include "support/recording_frontend.h"
#include "support/test_media.h"

namespace tarn {
namespace {

using test::NumberedMovie;

// Yields take a millisecond instead of their full time, and the test may act on a given yield
// (counting only the streaming loop's 50 ms yields).
class FastFrontend : public test::RecordingFrontend {
 public:
  void yield(int milliseconds) override {
    if (milliseconds == 50) {
      const int count = ++loopYields;
      if (onLoopYield) onLoopYield(count);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::atomic<int> loopYields{0};
  std::function<void(int)> onLoopYield;
};

std::vector<std::string> logLines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<std::string> lines;
  std::string all = text.str();
  size_t start = 0;
  for (size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(all.substr(start, end - start));
  }
  return lines;
}

struct SourceFixture {
  test::ScratchDir dir;
  FrameSourceState state;
  FastFrontend frontend;
  RunLog log{dir / "TarnConverter.log"};
  std::atomic<int> refreshes{0};
  FrameSourceContext context{
      state, frontend, log,
      FrameSourceHooks{[this] {
                         ++refreshes;
                         grabCurrentFrame(state);
                       },
                       [](double seconds) { return "D" + std::to_string(seconds); }, [](int) {}}};
  std::vector<std::string> lines() { return logLines(dir / "TarnConverter.log"); }
};

TEST(FrameSource, OpensPublishesStreamsAndTearsDown) {
  SourceFixture f;
  const NumberedMovie& movie = test::numberedMovie("numbered.mp4");
  const std::string path = test::numberedMoviePath(movie).string();
  bool sawStreaming = false;
  int32_t frameSeen = -1;
  f.frontend.onLoopYield = [&](int count) {
    if (count == 1) {
      sawStreaming = f.state.streamState == 1 && f.state.currentGraph() != nullptr;
      frameSeen = test::readFrameNumber(
          reinterpret_cast<const uint8_t*>(f.state.frameBuffer.data()), movie.width, movie.height);
    }
    if (count == 5) f.state.streamState = 0;
  };
  EXPECT_EQ(runFrameSource(f.context, "  " + path + "  "), 0);

  EXPECT_TRUE(sawStreaming);
  EXPECT_GE(frameSeen, 0);  // the preview refresh copied a real frame
  EXPECT_EQ(f.refreshes.load(), 5);
  EXPECT_EQ(f.state.sourceWidth, 160);
  EXPECT_EQ(f.state.sourceHeight, 48);
  EXPECT_EQ(f.state.sampleSize, 160 * 48 * 4);
  EXPECT_EQ(f.state.durationTicks, 20'000'000);
  EXPECT_DOUBLE_EQ(f.state.durationSeconds, 2.0);
  EXPECT_EQ(f.state.timePerFrame, 400'000);  // no probe text: the decoder's own
  EXPECT_EQ(f.state.totalFrames, 50);
  EXPECT_EQ(f.state.frameWordCount, 160 * 48);
  EXPECT_EQ(f.state.frameBuffer.size(), 160u * 49u);
  EXPECT_EQ(f.state.grabBuffer.size(), 160u * 49u);
  EXPECT_EQ(f.state.frameStepAvailable.load(), 1);

  EXPECT_EQ(f.frontend.infoLabel(InfoLabel::videoFile), " " + path + " ");
  EXPECT_EQ(f.frontend.infoLabel(InfoLabel::frameSize), "160x48");
  EXPECT_EQ(f.frontend.infoLabel(InfoLabel::fpsRate), "25.00 fps");
  EXPECT_EQ(f.frontend.infoLabel(InfoLabel::numFrames), "50");
  EXPECT_EQ(f.frontend.infoLabel(InfoLabel::duration), "D" + std::to_string(2.0));
  EXPECT_TRUE(f.frontend.messages().empty());

  const std::vector<std::string> expected = {"Render file:   " + path + "  ",
                                             "Video File Duration = 2",
                                             "Frame Size = 160x48",
                                             "getTimePerFrame = 0.04",
                                             "FPS = 25.00",
                                             "numframes = 50",
                                             "File exit Ok",
                                             "File exit Final"};
  EXPECT_EQ(f.lines(), expected);
  // Teardown: graph released, flags down, strip back to 1, title drawn.
  EXPECT_EQ(f.state.currentGraph(), nullptr);
  EXPECT_EQ(f.state.sourceActive.load(), 0);
  EXPECT_EQ(f.state.movieOpen.load(), 0);
  EXPECT_EQ(f.frontend.progressStripWidth(), 1);
  EXPECT_EQ(f.frontend.previewTitles(), 1);
}

TEST(FrameSource, FrameRateComesFromTheProbeText) {
  SourceFixture f;
  f.state.probeText =
      " Video file: a.mp4\r\n\r\nstream #0:0[0x1](und): video: h264, yuv420p, 160x48, 29.97 fps, "
      "59.94 tbr, 90k tbn";
  f.frontend.onLoopYield = [&](int) { f.state.streamState = 0; };
  runFrameSource(f.context, test::numberedMoviePath(test::numberedMovie("numbered.mp4")).string());
  EXPECT_EQ(f.state.timePerFrame, 166834);
  EXPECT_EQ(f.state.totalFrames, 119);  // floor(20,000,000 / 166834)
  EXPECT_EQ(f.frontend.infoLabel(InfoLabel::fpsRate), "59.94 fps");
  const auto lines = f.lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "getTimePerFrame = 0.0166834"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "FPS = 59.94"), lines.end());
}

TEST(FrameSource, ASecondCallWhileOneRunsChangesNothing) {
  SourceFixture f;
  f.state.sourceActive = 1;
  EXPECT_EQ(runFrameSource(f.context,
                           test::numberedMoviePath(test::numberedMovie("numbered.mp4")).string()),
            0);
  EXPECT_EQ(f.state.sourceActive.load(), 1);
  EXPECT_EQ(f.state.sourceWidth, 400);
  EXPECT_TRUE(f.lines().empty());
  EXPECT_EQ(f.frontend.infoLabel(InfoLabel::frameSize), "");
  EXPECT_EQ(f.frontend.previewTitles(), 0);
}

struct FailureCase {
  std::string name;
  std::function<std::filesystem::path(const std::filesystem::path& dir)> make;
  std::string message;
  bool renderLine;  // the "Render file" line comes before the failure
};

void PrintTo(const FailureCase& failure, std::ostream* out) {
  *out << failure.name;
}

const std::string kFormatMessage =
    "Format of the file is not support.\r\nOr - File can be open by another app.";

std::filesystem::path framelessMp4(const std::filesystem::path& dir) {
  const auto whole = test::numberedMoviePath(test::numberedMovie("numbered.mp4"));
  const auto indexed = test::generatedMedia(
      "numbered-faststart.mp4", "-i " + whole.string() + " -c copy -movflags +faststart");
  std::ifstream in(indexed, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto target = dir / "frameless.mp4";
  std::ofstream(target, std::ios::binary) << data.substr(0, data.find("mdat") + 8);
  return target;
}

class FrameSourceFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(FrameSourceFailure, EndsWithItsMessageAndATeardown) {
  SourceFixture f;
  const FailureCase& failure = GetParam();
  f.frontend.setInfoLabel(InfoLabel::frameSize, "old");
  const std::string path = failure.make(f.dir.path()).string();
  EXPECT_EQ(runFrameSource(f.context, path), 0);

  const auto messages = f.frontend.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, failure.message);
  EXPECT_EQ(messages[0].caption, "Error Monitoring");
  EXPECT_EQ(messages[0].icon, MessageIcon::information);
  EXPECT_EQ(messages[0].buttons, MessageButtons::ok);

  std::vector<std::string> expected = {"File exit Ok", "File exit Final"};
  if (failure.renderLine) expected.insert(expected.begin(), "Render file: " + path);
  EXPECT_EQ(f.lines(), expected);
  // Nothing published, labels as they were, no graph left.
  EXPECT_EQ(f.state.streamState.load(), 0);
  EXPECT_EQ(f.state.sourceWidth, 400);
  EXPECT_EQ(f.state.totalFrames, 0);
  EXPECT_EQ(f.frontend.infoLabel(InfoLabel::frameSize), "old");
  EXPECT_EQ(f.state.currentGraph(), nullptr);
  EXPECT_EQ(f.state.sourceActive.load(), 0);
  EXPECT_EQ(f.frontend.progressStripWidth(), 1);
  EXPECT_EQ(f.refreshes.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    FrameSource, FrameSourceFailure,
    testing::Values(FailureCase{"MissingFile", [](const auto& dir) { return dir / "gone.mp4"; },
                                "AddSourceFile Error", false},
                    FailureCase{"TextFile",
                                [](const auto& dir) {
                                  std::ofstream(dir / "notes.txt") << "just some text\nand more\n";
                                  return dir / "notes.txt";
                                },
                                "Unsupported media type!", false},
                    FailureCase{"SoundOnly",
                                [](const auto&) {
                                  return test::generatedMedia(
                                      "sound-only.m4a",
                                      "-f lavfi -i sine=frequency=440:duration=1 -c:a aac");
                                },
                                "Unsupported media type!", false},
                    FailureCase{"TruncatedHeader",
                                [](const auto& dir) {
                                  const auto whole =
                                      test::numberedMoviePath(test::numberedMovie("numbered.mp4"));
                                  std::ifstream in(whole, std::ios::binary);
                                  std::string data(3000, '\0');
                                  in.read(data.data(), 3000);
                                  std::ofstream(dir / "cut.mp4", std::ios::binary) << data;
                                  return dir / "cut.mp4";
                                },
                                "Unsupported media type!", false},
                    FailureCase{"TruncatedFrames", framelessMp4, kFormatMessage, true},
                    FailureCase{"FrameTooLarge",
                                [](const auto&) {
                                  return test::generatedMedia(
                                      "too-wide.mkv",
                                      "-f lavfi -i color=c=black:s=40000x2:r=25:d=0.08 -c:v png");
                                },
                                kFormatMessage, true}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST(FrameSource, PausedPreviewRefreshesOnceIn101Passes) {
  SourceFixture f;
  f.state.previewPaused = 1;
  f.frontend.onLoopYield = [&](int count) {
    if (count == 250) f.state.streamState = 0;
  };
  runFrameSource(f.context, test::numberedMoviePath(test::numberedMovie("numbered.mp4")).string());
  EXPECT_EQ(f.refreshes.load(), 2);  // passes 101 and 202
}

TEST(FrameSource, ConversionHoldsThePreviewAndTheGraphStaysAtRest) {
  SourceFixture f;
  f.state.converting = 1;
  std::atomic<int> positionStayed{0};
  std::thread stopper([&] {
    while (f.state.streamState != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    // Not run while converting: the position stays at the start.
    if (auto graph = f.state.currentGraph()) positionStayed = graph->positionTicks() == 0;
    f.state.streamState = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    f.state.converting = 0;  // the teardown waits for this
  });
  runFrameSource(f.context, test::numberedMoviePath(test::numberedMovie("numbered.mp4")).string());
  stopper.join();
  EXPECT_EQ(positionStayed.load(), 1);
  EXPECT_EQ(f.refreshes.load(), 0);
  EXPECT_EQ(f.frontend.loopYields.load(), 0);
  EXPECT_EQ(f.state.currentGraph(), nullptr);
}

TEST(FrameSource, ProgressStripFollowsPlaybackToTheEnd) {
  SourceFixture f;
  std::vector<int32_t> widths;
  f.frontend.onLoopYield = [&](int) {
    widths.push_back(f.frontend.progressStripWidth());
    if (widths.back() == 1012 || widths.size() > 20000) f.state.streamState = 0;
  };
  runFrameSource(f.context,
                 test::numberedMoviePath(test::numberedMovie("numbered-silent.mp4")).string());
  ASSERT_FALSE(widths.empty());
  EXPECT_EQ(widths.back(), 1012);
  EXPECT_TRUE(std::is_sorted(widths.begin(), widths.end()));
  EXPECT_EQ(f.state.positionTicks.load(), f.state.durationTicks);
  EXPECT_EQ(f.frontend.progressStripWidth(), 1);
}

TEST(OpenMovie, RecordsThePathAndRunsTheSource) {
  SourceFixture f;
  const std::string path = test::numberedMoviePath(test::numberedMovie("numbered.mov")).string();
  int32_t openWhileStreaming = -1;
  f.frontend.onLoopYield = [&](int) {
    openWhileStreaming = f.state.movieOpen;
    f.state.streamState = 0;
  };
  openMovie(f.context, path);
  EXPECT_EQ(f.state.moviePath.get(), path);
  EXPECT_EQ(f.state.videoLoaded.load(), 1);
  EXPECT_EQ(openWhileStreaming, 1);
  EXPECT_EQ(f.state.movieOpen.load(), 0);
  EXPECT_EQ(f.state.streamState.load(), 0);
  EXPECT_EQ(f.frontend.infoLabel(InfoLabel::frameSize), "160x48");

  // A failing movie still leaves its path, whole however long.
  const std::string longPath = (f.dir / std::string(300, 'x')).string();
  openMovie(f.context, longPath);
  EXPECT_EQ(f.state.moviePath.get(), longPath);
  EXPECT_EQ(f.frontend.messages().size(), 1u);
}

TEST(OpenMovie, ChooserStepsAroundTheDialog) {
  SourceFixture f;
  f.state.sourceWidth = 4;
  f.state.sourceHeight = 2;
  f.state.frameBuffer.assign(4 * 3, 7u);
  f.state.grabBuffer.assign(4 * 3, 9u);
  f.state.streamState = 1;
  stopGraphBeforeChooser(f.context);  // no graph: only the log lines
  endMovieChoice(f.context);
  EXPECT_EQ(f.state.streamState.load(), 0);
  EXPECT_EQ(f.state.frameBuffer, (ZeroedBuffer<uint32_t>{0, 0, 0, 0, 0, 0, 0, 0, 7, 7, 7, 7}));
  EXPECT_EQ(f.state.grabBuffer, (ZeroedBuffer<uint32_t>{0, 0, 0, 0, 0, 0, 0, 0, 9, 9, 9, 9}));
  EXPECT_EQ(f.lines(), (std::vector<std::string>{"GetMultipleFiles pMediaControl begin",
                                                 "GetMultipleFiles pMediaControl Ok"}));
  // Blank names are not loaded.
  loadChosenMovie(f.context, "   ", f.dir.path());
  EXPECT_EQ(f.state.videoLoaded.load(), 0);
}

TEST(GrabCurrentFrame, CopiesTheGraphsFrameWithinTheBuffers) {
  FrameSourceState state;
  state.frameBuffer.assign(4, 1u);
  grabCurrentFrame(state);  // no graph: nothing happens
  EXPECT_EQ(state.frameBuffer, ZeroedBuffer<uint32_t>(4, 1u));

  const NumberedMovie& movie = test::numberedMovie("numbered.mkv");
  OpenedGraph opened = openDecodeGraph(test::numberedMoviePath(movie));
  ASSERT_TRUE(opened.graph);
  state.graph = std::move(opened.graph);
  state.sampleSize = movie.width * movie.height * 4;
  state.frameWordCount = movie.width * movie.height;
  state.grabBuffer.assign(static_cast<size_t>(movie.width) * (movie.height + 1), 0);
  state.frameBuffer.assign(static_cast<size_t>(movie.width) * (movie.height + 1), 0xEEEEEEEE);
  grabCurrentFrame(state);
  EXPECT_EQ(test::readFrameNumber(reinterpret_cast<const uint8_t*>(state.frameBuffer.data()),
                                  movie.width, movie.height),
            0);
  EXPECT_EQ(state.frameBuffer.back(), 0xEEEEEEEEu);  // W x H words only: the extra row stays

  // A word count larger than the buffers copies only what fits.
  state.frameWordCount = 1 << 30;
  state.frameBuffer.assign(10, 5u);
  grabCurrentFrame(state);
  EXPECT_EQ(state.frameBuffer.size(), 10u);
}

}  // namespace
}  // namespace tarn
