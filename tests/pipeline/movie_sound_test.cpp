// A playing movie's sound meeting the graph's control calls from other threads (run under TSan).
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "input/decode_graph.h"
#include "input/sound_output.h"
#include "support/frame_recorder.h"
#include "support/sound_movies.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int64_t kSecond = 10'000'000;

// A sound output that nothing can hear: it plays its queue at the format's rate while playing, as
// a device does, and records every sample queued.
class RealTimeOutput : public SoundOutput {
 public:
  PcmFormat format() const override { return {8000, 1}; }

  void queue(const int16_t* samples, size_t frames) override {
    std::lock_guard lock(mutex_);
    play();
    pending_.insert(pending_.end(), samples, samples + frames);
    queued_.insert(queued_.end(), samples, samples + frames);
  }
  size_t queuedFrames() const override {
    std::lock_guard lock(mutex_);
    play();
    return pending_.size();
  }
  void clear() override {
    std::lock_guard lock(mutex_);
    pending_.clear();
  }
  void setPlaying(bool playing) override {
    std::lock_guard lock(mutex_);
    play();
    playing_ = playing;
    since_ = Clock::now();
  }

  size_t queuedTotal() const {
    std::lock_guard lock(mutex_);
    return queued_.size();
  }
  std::vector<int16_t> queuedSince(size_t first) const {
    std::lock_guard lock(mutex_);
    return {queued_.begin() + static_cast<std::ptrdiff_t>(std::min(first, queued_.size())),
            queued_.end()};
  }
  size_t waiting() const { return queuedFrames(); }
  bool playing() const {
    std::lock_guard lock(mutex_);
    return playing_;
  }

 private:
  // Moves what the device has played since the last look out of the queue.
  void play() const {
    const auto now = Clock::now();
    if (!playing_) {
      since_ = now;
      return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - since_);
    const size_t frames = static_cast<size_t>(elapsed.count() * format().sampleRate / 1'000'000);
    const size_t played = std::min(frames, pending_.size());
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(played));
    since_ +=
        std::chrono::microseconds(static_cast<int64_t>(frames) * 1'000'000 / format().sampleRate);
  }

  mutable std::mutex mutex_;
  mutable std::deque<int16_t> pending_;
  mutable Clock::time_point since_ = Clock::now();
  std::vector<int16_t> queued_;
  bool playing_ = false;
};

// Waits (at most a minute, so that a fault fails instead of hanging) until `done` holds.
bool waitFor(const std::function<bool()>& done) {
  const auto giveUp = Clock::now() + 60s;
  while (!done()) {
    if (Clock::now() > giveUp) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::unique_ptr<DecodeGraph> openWithSound(const std::filesystem::path& movie,
                                           SoundOutput& output) {
  OpenedGraph opened = openDecodeGraph(movie, &output);
  EXPECT_EQ(opened.failure, OpenFailure::none);
  return std::move(opened.graph);
}

TEST(MovieSoundTest, PlaysWithThePictureNeverAheadOfItAndAgainAfterTheEnd) {
  RealTimeOutput output;
  auto graph = openWithSound(test::toneMovie(), output);
  ASSERT_TRUE(graph);
  // Paused after opening: nothing plays.
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(output.queuedTotal(), 0u);
  EXPECT_FALSE(output.playing());

  graph->run();
  ASSERT_TRUE(waitFor([&] { return output.queuedTotal() >= 4000; }));  // half a second
  EXPECT_TRUE(output.playing());
  // The sound never runs ahead of the picture by more than the queue (0.2 s), the tolerance
  // (0.25 s) and one decoded piece.
  const size_t queued = output.queuedTotal();
  const int64_t picture = graph->positionTicks();
  EXPECT_LE(static_cast<int64_t>(queued), (picture + 6 * kSecond / 10) * 8000 / kSecond);
  EXPECT_GT(test::peakOf(output.queuedSince(0)), 2000);

  ASSERT_TRUE(test::waitForComplete(*graph));
  ASSERT_TRUE(waitFor([&] { return output.waiting() == 0; }));
  // The whole second of sound was played, give or take the pieces skipped to keep up.
  EXPECT_GT(output.queuedTotal(), 6000u);
  EXPECT_LE(output.queuedTotal(), 8002u);

  // Play from the start again, as Play/Pause does at the end of the movie.
  const size_t before = output.queuedTotal();
  graph->seek(0);
  graph->run();
  ASSERT_TRUE(waitFor([&] { return output.queuedTotal() >= before + 2000; }));
  EXPECT_GT(test::peakOf(output.queuedSince(before)), 2000);
}

TEST(MovieSoundTest, PauseHoldsTheSoundStopAndSeekDropIt) {
  RealTimeOutput output;
  auto graph = openWithSound(test::lateToneMovie(), output);
  ASSERT_TRUE(graph);
  graph->run();
  ASSERT_TRUE(waitFor([&] { return output.queuedTotal() >= 1600; }));
  // The first second of this movie is silent.
  EXPECT_LT(test::peakOf(output.queuedSince(0)), 100);

  // Paused: the device holds its queue and nothing more is queued.
  graph->pause();
  const size_t paused = output.queuedTotal();
  EXPECT_FALSE(output.playing());
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(output.queuedTotal(), paused);

  // A seek drops what was queued; the sound goes on from the target: the tone.
  graph->seek(15 * kSecond / 10);
  EXPECT_EQ(output.waiting(), 0u);
  graph->run();
  ASSERT_TRUE(waitFor([&] { return output.queuedTotal() >= paused + 1600; }));
  EXPECT_GT(test::peakOf(output.queuedSince(paused)), 10000);

  // Stopped: the queue is dropped and nothing more comes.
  graph->stop();
  EXPECT_EQ(output.waiting(), 0u);
  EXPECT_FALSE(output.playing());
  const size_t stopped = output.queuedTotal();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(output.queuedTotal(), stopped);
}

TEST(MovieSoundTest, MutedGraphAndDeliveryToACallbackPlayNothing) {
  RealTimeOutput output;
  auto graph = openWithSound(test::toneMovie(), output);
  ASSERT_TRUE(graph);

  // Muted and playing at real time: not a sample.
  graph->setMuted(true);
  graph->run();
  ASSERT_TRUE(waitFor([&] { return graph->positionTicks() >= 3 * kSecond / 10; }));
  graph->pause();
  EXPECT_EQ(output.queuedTotal(), 0u);
  EXPECT_FALSE(output.playing());

  // Unmuted, the sound starts where the picture is.
  graph->setMuted(false);
  graph->run();
  ASSERT_TRUE(waitFor([&] { return output.queuedTotal() > 0; }));

  // A conversion's steps: stop, rewind, deliver every frame to a callback, muted.
  graph->stop();
  graph->seek(0);
  EXPECT_EQ(output.waiting(), 0u);
  const size_t before = output.queuedTotal();
  test::FrameRecorder recorder(64, 32);
  graph->setSampleCallback(&recorder);
  graph->setMuted(true);
  graph->run();
  ASSERT_TRUE(test::waitForComplete(*graph));
  EXPECT_EQ(recorder.numbers().size(), 25u);
  EXPECT_EQ(output.queuedTotal(), before);

  // Delivery alone (not muted) is silent too.
  graph->setMuted(false);
  graph->seek(0);
  graph->run();
  ASSERT_TRUE(test::waitForComplete(*graph));
  EXPECT_EQ(output.queuedTotal(), before);
  EXPECT_FALSE(output.playing());
}

TEST(MovieSoundTest, MovieWithoutSoundPlaysAsBefore) {
  RealTimeOutput output;
  auto graph = openWithSound(test::silentMovie(), output);
  ASSERT_TRUE(graph);
  graph->run();
  ASSERT_TRUE(test::waitForComplete(*graph));
  EXPECT_EQ(graph->positionTicks(), graph->durationTicks());
  EXPECT_EQ(output.queuedTotal(), 0u);
}

TEST(MovieSoundTest, ControlCallsFromSeveralThreadsWhilePlaying) {
  RealTimeOutput output;
  auto graph = openWithSound(test::lateToneMovie(), output);
  ASSERT_TRUE(graph);
  graph->run();
  std::thread seeker([&] {
    for (int turn = 0; turn < 20; ++turn) {
      graph->seek(turn % 2 == 0 ? kSecond : 0);
      std::this_thread::sleep_for(7ms);
    }
  });
  std::thread pauser([&] {
    for (int turn = 0; turn < 20; ++turn) {
      if (turn % 2 == 0) {
        graph->pause();
      } else {
        graph->run();
      }
      graph->setMuted(turn % 3 == 0);
      std::this_thread::sleep_for(5ms);
    }
    graph->setMuted(false);
    graph->run();
  });
  seeker.join();
  pauser.join();
  const size_t before = output.queuedTotal();
  ASSERT_TRUE(waitFor([&] { return output.queuedTotal() > before; }));
  graph.reset();  // ends the sound's thread with the graph's
  EXPECT_EQ(output.waiting(), 0u);
  EXPECT_FALSE(output.playing());
}

}  // namespace
}  // namespace tarn
