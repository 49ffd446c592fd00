// The graph's streaming thread meeting control calls from other threads (run under TSan).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "input/decode_graph.h"
#include "support/frame_recorder.h"
#include "support/numbered_movies.h"

namespace tarn {
namespace {

using test::FrameRecorder;

const test::NumberedMovie& movie() {
  return test::numberedMovie("numbered.mp4");
}

std::unique_ptr<DecodeGraph> openMovie() {
  OpenedGraph opened = openDecodeGraph(test::numberedMoviePath(movie()));
  EXPECT_EQ(opened.failure, OpenFailure::none);
  return std::move(opened.graph);
}

TEST(DecodeGraphThreads, ReleasedWhileTheCallbackRuns) {
  auto graph = openMovie();
  ASSERT_TRUE(graph);
  FrameRecorder recorder(movie().width, movie().height);
  recorder.holdAt(3);
  graph->setSampleCallback(&recorder);
  graph->run();
  ASSERT_TRUE(recorder.waitForCalls(4));
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    recorder.release();
  });
  graph.reset();  // waits for the call in progress, then ends the thread
  releaser.join();
  EXPECT_FALSE(recorder.inside());
  EXPECT_EQ(recorder.calls(), 4);
}

// A callback that controls the graph from inside the call, as a conversion's per-frame work may.
class SelfStoppingCallback : public SampleCallback {
 public:
  explicit SelfStoppingCallback(int stopAfter) : stopAfter_(stopAfter) {}
  DecodeGraph* graph = nullptr;
  std::atomic<int> calls{0};
  void bufferCB(double, const uint8_t*, int32_t) override {
    if (++calls == stopAfter_) {
      graph->stop();
      graph->setSampleCallback(nullptr);
      graph->pause();
    }
  }

 private:
  const int stopAfter_;
};

TEST(DecodeGraphThreads, ControlFromInsideTheCallbackDoesNotDeadlock) {
  auto graph = openMovie();
  ASSERT_TRUE(graph);
  SelfStoppingCallback callback(5);
  callback.graph = graph.get();
  graph->setSampleCallback(&callback);
  graph->run();
  for (int turn = 0; turn < 6000 && callback.calls < 5; ++turn) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  graph->stop();
  EXPECT_EQ(callback.calls.load(), 5);
}

TEST(DecodeGraphThreads, ControlCallsFromManyThreadsWhileStreaming) {
  auto graph = openMovie();
  ASSERT_TRUE(graph);
  FrameRecorder recorder(movie().width, movie().height);
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  // One thread plays with the transport, one copies the current frame, one reads positions.
  threads.emplace_back([&] {
    for (int i = 0; i < 40; ++i) {
      graph->run();
      if (i % 3 == 0) graph->pause();
      if (i % 5 == 0) graph->seek((i % 7) * 400'000);
      if (i % 4 == 0) graph->setSampleCallback(i % 8 == 0 ? &recorder : nullptr);
      if (i % 9 == 0) graph->stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    done = true;
  });
  threads.emplace_back([&] {
    std::vector<uint8_t> copy(static_cast<size_t>(movie().width) * movie().height * 4);
    while (!done) {
      if (graph->copyCurrentFrame(copy.data(), copy.size())) {
        EXPECT_GE(test::readFrameNumber(copy.data(), movie().width, movie().height), 0);
      }
      std::this_thread::yield();
    }
  });
  threads.emplace_back([&] {
    while (!done) {
      const int64_t position = graph->positionTicks();
      EXPECT_GE(position, 0);
      EXPECT_LE(position, graph->durationTicks());
      graph->takeEvent();
      std::this_thread::yield();
    }
  });
  for (std::thread& thread : threads) thread.join();
  // Whatever happened before, a rewind and a run deliver the whole movie again.
  FrameRecorder clean(movie().width, movie().height);
  graph->stop();
  graph->setSampleCallback(&clean);
  graph->seek(0);
  while (graph->takeEvent()) {
  }
  graph->run();
  ASSERT_TRUE(test::waitForComplete(*graph));
  const std::vector<int32_t> numbers = clean.numbers();
  ASSERT_EQ(numbers.size(), 50u);
  for (int n = 0; n < 50; ++n) EXPECT_EQ(numbers[n], n);
}

}  // namespace
}  // namespace tarn
