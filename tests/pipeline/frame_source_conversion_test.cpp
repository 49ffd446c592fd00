// The frame source's thread, the graph's streaming thread and a window thread meeting as in a
// conversion run (run under TSan).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/run_log.h"
#include "input/frame_callback.h"
#include "input/frame_source.h"
#include "input/frame_source_state.h"
#include "support/frame_recorder.h"
#include "support/numbered_movies.h"
#include "support/recording_frontend.h"
#include "support/test_media.h"

namespace tarn {
namespace {

TEST(FrameSourceConversion, EveryFrameReachesTheFrameBufferInOrder) {
  test::ScratchDir dir;
  FrameSourceState state;
  test::RecordingFrontend frontend;
  RunLog log(dir / "TarnConverter.log");
  std::atomic<int> refreshes{0};
  // The preview refresh announces itself and looks at `converting` inside, and the conversion
  // waits for it, as the canvas's refresh and the conversion run do with setupBusy.
  std::atomic<int32_t> setupBusy{0};
  FrameSourceContext context{state, frontend, log,
                             FrameSourceHooks{[&] {
                                                setupBusy = 1;
                                                if (state.converting == 0) {
                                                  ++refreshes;
                                                  grabCurrentFrame(state);
                                                }
                                                setupBusy = 0;
                                              },
                                              {},
                                              [](int) {}}};
  const test::NumberedMovie& movie = test::numberedMovie("numbered-1001.mp4");
  const std::string path = test::numberedMoviePath(movie).string();

  // The movie-load thread.
  std::thread loader([&] { runFrameSource(context, path); });
  while (state.streamState != 1 && state.sourceActive != 0 && refreshes == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  while (refreshes < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  // The window thread converts: stop, rewind, register the callback, run, wait for the end.
  std::shared_ptr<DecodeGraph> graph = state.currentGraph();
  ASSERT_TRUE(graph);
  graph->stop();
  state.positionTicks = 0;
  graph->seek(0);
  state.converting = 1;
  while (setupBusy == 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::vector<int32_t> numbers;  // written on the streaming thread only
  FrameCallback& callback = initFrameCallback(state, [&] {
    numbers.push_back(test::readFrameNumber(
        reinterpret_cast<const uint8_t*>(state.frameBuffer.data()), movie.width, movie.height));
  });
  graph->pause();
  graph->setSampleCallback(&callback);
  graph->setMuted(true);
  graph->run();
  EXPECT_TRUE(test::waitForComplete(*graph));
  graph->setSampleCallback(nullptr);
  graph.reset();
  state.streamState = 0;
  state.converting = 0;
  loader.join();

  ASSERT_EQ(numbers.size(), 50u);
  for (int n = 0; n < 50; ++n) EXPECT_EQ(numbers[n], n);
  EXPECT_EQ(state.frameWordCount, movie.width * movie.height);
  EXPECT_EQ(state.currentGraph(), nullptr);
  EXPECT_EQ(state.sourceActive.load(), 0);
}

// Closing the movie while it plays: the loader ends, whatever the graph was doing.
TEST(FrameSourceConversion, StopRequestsFromAnotherThreadAtAnyMoment) {
  const std::string path = test::numberedMoviePath(test::numberedMovie("numbered.mkv")).string();
  for (int delay : {0, 1, 5, 20}) {
    test::ScratchDir dir;
    FrameSourceState state;
    test::RecordingFrontend frontend;
    RunLog log(dir / "TarnConverter.log");
    FrameSourceContext context{state, frontend, log,
                               FrameSourceHooks{[&] { grabCurrentFrame(state); }, {}, [](int) {}}};
    std::atomic<bool> finished{false};
    std::thread loader([&] {
      runFrameSource(context, path);
      finished = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    // As a new Load command does: ask to stop until the source has ended.
    while (!finished) {
      state.streamState = 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    loader.join();
    EXPECT_EQ(state.currentGraph(), nullptr) << delay;
  }
}

}  // namespace
}  // namespace tarn
