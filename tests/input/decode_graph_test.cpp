#include "input/decode_graph.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <numeric>

#include "input/frame_size_limit.h"
#include "support/frame_recorder.h"
#include "support/numbered_movies.h"
#include "support/test_media.h"

namespace tarn {
namespace {

using test::FrameRecorder;
using test::NumberedMovie;

std::vector<int32_t> zeroTo(int32_t count) {
  std::vector<int32_t> numbers(count);
  std::iota(numbers.begin(), numbers.end(), 0);
  return numbers;
}

class EveryMovie : public testing::TestWithParam<NumberedMovie> {};

TEST_P(EveryMovie, EveryFrameReachesTheCallbackOnceInOrder) {
  const NumberedMovie& movie = GetParam();
  OpenedGraph opened = openDecodeGraph(test::numberedMoviePath(movie));
  ASSERT_EQ(opened.failure, OpenFailure::none);
  DecodeGraph& graph = *opened.graph;

  const VideoFormat format = graph.format();
  EXPECT_EQ(format.width, movie.width);
  EXPECT_EQ(format.height, movie.height);
  EXPECT_EQ(format.sampleSize, movie.width * movie.height * 4);
  if (!movie.variableRate) {
    EXPECT_EQ(format.averageTimePerFrame, 400000);
    // Two seconds, within one frame.
    EXPECT_NEAR(graph.durationTicks(), 20'000'000, 400'000);
  }
  EXPECT_EQ(graph.positionTicks(), 0);

  FrameRecorder recorder(movie.width, movie.height);
  graph.setSampleCallback(&recorder);
  graph.setMuted(true);
  graph.useDefaultClock();
  graph.run();
  ASSERT_TRUE(test::waitForComplete(graph));

  // Every frame once, in order, whole, in the right colours and row order.
  EXPECT_EQ(recorder.numbers(), zeroTo(movie.frames));
  for (int32_t length : recorder.lengths()) EXPECT_EQ(length, format.sampleSize);
  const std::vector<double> times = recorder.times();
  ASSERT_FALSE(times.empty());
  EXPECT_DOUBLE_EQ(times.front(), 0.0);
  for (size_t i = 1; i < times.size(); ++i) EXPECT_LT(times[i - 1], times[i]) << i;
  // All on one thread of the graph, not on ours.
  for (std::thread::id id : recorder.callerThreads()) {
    EXPECT_EQ(id, recorder.callerThreads().front());
    EXPECT_NE(id, std::this_thread::get_id());
  }
  EXPECT_EQ(graph.positionTicks(), graph.durationTicks());
  EXPECT_FALSE(graph.takeEvent().has_value());  // the end comes once
}

INSTANTIATE_TEST_SUITE_P(DecodeGraph, EveryMovie, testing::ValuesIn(test::numberedMovies()),
                         [](const testing::TestParamInfo<NumberedMovie>& info) {
                           std::string name;
                           for (char c : info.param.name) name += std::isalnum(c) ? c : '_';
                           return name;
                         });

TEST(DecodeGraph, VariableFrameRateKeepsTheFramesOwnTimes) {
  const NumberedMovie& movie = test::numberedMovie("numbered-variable.mkv");
  OpenedGraph opened = openDecodeGraph(test::numberedMoviePath(movie));
  ASSERT_TRUE(opened.graph);
  FrameRecorder recorder(movie.width, movie.height);
  opened.graph->setSampleCallback(&recorder);
  opened.graph->run();
  ASSERT_TRUE(test::waitForComplete(*opened.graph));
  const std::vector<double> times = recorder.times();
  ASSERT_EQ(times.size(), 50u);
  // Frame n is shown at (n + floor(n / 5)) / 25 seconds (the container keeps milliseconds).
  for (int n = 0; n < 50; ++n) EXPECT_NEAR(times[n], (n + n / 5) / 25.0, 0.0011) << n;
  EXPECT_NEAR(opened.graph->durationTicks(), 23'600'000, 400'000);
}

TEST(DecodeGraph, SeekToZeroMakesTheNextFrameFrameZero) {
  const NumberedMovie& movie = test::numberedMovie("numbered.mp4");
  OpenedGraph opened = openDecodeGraph(test::numberedMoviePath(movie));
  ASSERT_TRUE(opened.graph);
  DecodeGraph& graph = *opened.graph;
  FrameRecorder recorder(movie.width, movie.height);
  recorder.holdAt(20);
  graph.setSampleCallback(&recorder);
  graph.run();
  ASSERT_TRUE(recorder.waitForCalls(21));
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    graph.stop();
    stopped = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(stopped);  // stop waits for the call in progress
  recorder.release();
  stopper.join();
  EXPECT_FALSE(recorder.inside());
  const int before = recorder.calls();
  EXPECT_GE(before, 21);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(recorder.calls(), before);  // nothing after stop

  graph.seek(0);
  EXPECT_EQ(graph.positionTicks(), 0);
  graph.pause();
  graph.run();
  ASSERT_TRUE(test::waitForComplete(graph));
  std::vector<int32_t> numbers = recorder.numbers();
  std::vector<int32_t> expected = zeroTo(before);
  const std::vector<int32_t> all = zeroTo(50);
  expected.insert(expected.end(), all.begin(), all.end());
  EXPECT_EQ(numbers, expected);

  // Again after the end of the movie.
  graph.stop();
  graph.seek(0);
  graph.run();
  ASSERT_TRUE(test::waitForComplete(graph));
  EXPECT_EQ(recorder.calls(), before + 50 + 50);
  EXPECT_EQ(recorder.numbers()[before + 50], 0);
}

TEST(DecodeGraph, SeekToAFramesTimeStartsAtThatFrame) {
  const NumberedMovie& movie = test::numberedMovie("numbered.mkv");
  OpenedGraph opened = openDecodeGraph(test::numberedMoviePath(movie));
  ASSERT_TRUE(opened.graph);
  FrameRecorder recorder(movie.width, movie.height);
  opened.graph->setSampleCallback(&recorder);
  opened.graph->seek(37 * 400'000);
  opened.graph->run();
  ASSERT_TRUE(test::waitForComplete(*opened.graph));
  std::vector<int32_t> expected = zeroTo(50);
  expected.erase(expected.begin(), expected.begin() + 37);
  EXPECT_EQ(recorder.numbers(), expected);
}

TEST(DecodeGraph, CurrentFrameCopyFollowsThePausedPosition) {
  const NumberedMovie& movie = test::numberedMovie("numbered-silent.mp4");
  OpenedGraph opened = openDecodeGraph(test::numberedMoviePath(movie));
  ASSERT_TRUE(opened.graph);
  DecodeGraph& graph = *opened.graph;
  // W x (H+1) like the frame source's buffers: only W x H is written.
  std::vector<uint8_t> copy(static_cast<size_t>(movie.width) * (movie.height + 1) * 4, 0xAB);
  ASSERT_TRUE(graph.copyCurrentFrame(copy.data(), copy.size()));
  EXPECT_EQ(test::readFrameNumber(copy.data(), movie.width, movie.height), 0);
  EXPECT_EQ(copy[static_cast<size_t>(movie.width) * movie.height * 4], 0xAB);

  // A paused graph shows the frame at a new position without delivering anything.
  FrameRecorder recorder(movie.width, movie.height);
  graph.setSampleCallback(&recorder);
  graph.seek(12 * 400'000);
  int32_t shown = -1;
  for (int attempt = 0; attempt < 2000 && shown != 12; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    graph.copyCurrentFrame(copy.data(), copy.size());
    shown = test::readFrameNumber(copy.data(), movie.width, movie.height);
  }
  EXPECT_EQ(shown, 12);
  EXPECT_EQ(recorder.calls(), 0);
  EXPECT_EQ(graph.positionTicks(), 12 * 400'000);
  // Small destinations get what fits.
  std::vector<uint8_t> small(8);
  EXPECT_TRUE(graph.copyCurrentFrame(small.data(), small.size()));
  EXPECT_FALSE(graph.copyCurrentFrame(nullptr, 100));
}

TEST(DecodeGraph, PlaybackWithoutCallbackReachesTheEnd) {
  const NumberedMovie& movie = test::numberedMovie("numbered.avi");
  OpenedGraph opened = openDecodeGraph(test::numberedMoviePath(movie));
  ASSERT_TRUE(opened.graph);
  DecodeGraph& graph = *opened.graph;
  graph.run();
  int64_t last = 0;
  bool complete = false;
  for (int turn = 0; turn < 6000 && !complete; ++turn) {
    const int64_t position = graph.positionTicks();
    EXPECT_GE(position, last);
    EXPECT_LE(position, graph.durationTicks());
    last = position;
    while (auto event = graph.takeEvent()) complete = complete || *event == 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(complete);
  EXPECT_EQ(graph.positionTicks(), graph.durationTicks());
  std::vector<uint8_t> copy(static_cast<size_t>(movie.width) * movie.height * 4);
  ASSERT_TRUE(graph.copyCurrentFrame(copy.data(), copy.size()));
  EXPECT_EQ(test::readFrameNumber(copy.data(), movie.width, movie.height), 49);
}

TEST(DecodeGraph, ControlInEveryStateNeverHangs) {
  const NumberedMovie& movie = test::numberedMovie("numbered.mov");
  const auto path = test::numberedMoviePath(movie);
  // Released right after opening, while paused, while playing, stopped, at the end.
  { EXPECT_TRUE(openDecodeGraph(path).graph); }
  {
    auto graph = openDecodeGraph(path).graph;
    graph->pause();
    graph->pause();
  }
  {
    auto graph = openDecodeGraph(path).graph;
    graph->run();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    graph->pause();
    graph->run();
    graph->stop();
    graph->stop();
    graph->run();
  }
  {
    auto graph = openDecodeGraph(path).graph;
    FrameRecorder recorder(movie.width, movie.height);
    graph->setSampleCallback(&recorder);
    graph->run();
    ASSERT_TRUE(test::waitForComplete(*graph));
    graph->run();
    graph->pause();
    graph->stop();
    graph->setSampleCallback(nullptr);
  }
  {
    // Stop before anything ran: run afterwards still starts at frame 0.
    auto graph = openDecodeGraph(path).graph;
    FrameRecorder recorder(movie.width, movie.height);
    graph->stop();
    graph->setSampleCallback(&recorder);
    graph->run();
    ASSERT_TRUE(test::waitForComplete(*graph));
    EXPECT_EQ(recorder.numbers(), zeroTo(50));
  }
}

TEST(DecodeGraphOpen, FailuresSayWhatFailed) {
  test::ScratchDir dir;
  EXPECT_EQ(openDecodeGraph(dir / "missing.mp4").failure, OpenFailure::sourceNotAdded);
  EXPECT_EQ(openDecodeGraph(dir.path()).failure, OpenFailure::sourceNotAdded);
  EXPECT_EQ(openDecodeGraph("http://localhost:1/a.mp4").failure, OpenFailure::sourceNotAdded);

  std::ofstream(dir / "notes.txt") << "hello, this is not a movie\nsecond line\n";
  EXPECT_EQ(openDecodeGraph(dir / "notes.txt").failure, OpenFailure::unsupportedMediaType);
  std::ofstream(dir / "empty.mp4");
  EXPECT_NE(openDecodeGraph(dir / "empty.mp4").failure, OpenFailure::none);

  const auto sound =
      test::generatedMedia("sound-only.m4a", "-f lavfi -i sine=frequency=440:duration=1 -c:a aac");
  const OpenedGraph audioOnly = openDecodeGraph(sound);
  EXPECT_EQ(audioOnly.failure, OpenFailure::unsupportedMediaType);
  EXPECT_FALSE(audioOnly.graph);

  const auto huge = test::generatedMedia(
      "too-wide.mkv", "-f lavfi -i color=c=black:s=40000x2:r=25:d=0.08 -c:v png");
  EXPECT_EQ(openDecodeGraph(huge).failure, OpenFailure::outOfMemory);
}

// Copies the first `bytes` bytes of `source` to `target`.
void writePrefix(const std::filesystem::path& source, const std::filesystem::path& target,
                 size_t bytes) {
  std::ifstream in(source, std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(target, std::ios::binary) << data.substr(0, std::min(bytes, data.size()));
}

TEST(DecodeGraphOpen, TruncatedMovies) {
  test::ScratchDir dir;
  const NumberedMovie& movie = test::numberedMovie("numbered.mp4");
  const auto whole = test::numberedMoviePath(movie);
  // The index of this MP4 is at its end: cut off, nothing is left to open.
  writePrefix(whole, dir / "headless.mp4", 3000);
  EXPECT_EQ(openDecodeGraph(dir / "headless.mp4").failure, OpenFailure::unsupportedMediaType);

  // Index in front, frame data cut off: the stream gives no frame.
  const auto indexed = test::generatedMedia(
      "numbered-faststart.mp4", "-i " + whole.string() + " -c copy -movflags +faststart");
  std::ifstream in(indexed, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t mdat = data.find("mdat");
  ASSERT_NE(mdat, std::string::npos);
  writePrefix(indexed, dir / "no-frames.mp4", mdat + 8);
  EXPECT_EQ(openDecodeGraph(dir / "no-frames.mp4").failure, OpenFailure::noConnectedFormat);

  // Half a Matroska file: the frames that are there arrive in order, then the end.
  const NumberedMovie& vp9 = test::numberedMovie("numbered.mkv");
  const auto mkv = test::numberedMoviePath(vp9);
  writePrefix(mkv, dir / "half.mkv", std::filesystem::file_size(mkv) / 2);
  OpenedGraph half = openDecodeGraph(dir / "half.mkv");
  ASSERT_EQ(half.failure, OpenFailure::none);
  FrameRecorder recorder(vp9.width, vp9.height);
  half.graph->setSampleCallback(&recorder);
  half.graph->run();
  ASSERT_TRUE(test::waitForComplete(*half.graph));
  const std::vector<int32_t> numbers = recorder.numbers();
  ASSERT_GT(numbers.size(), 5u);
  EXPECT_LT(numbers.size(), 50u);
  EXPECT_EQ(numbers, zeroTo(static_cast<int32_t>(numbers.size())));
}

TEST(FrameSizeLimit, RefusesSidesAndBuffersBeyondTheLimits) {
  EXPECT_TRUE(frameSizeFits(1, 1));
  EXPECT_TRUE(frameSizeFits(1001, 41));
  EXPECT_TRUE(frameSizeFits(7680, 4320));
  EXPECT_TRUE(frameSizeFits(32768, 100));
  EXPECT_FALSE(frameSizeFits(0, 10));
  EXPECT_FALSE(frameSizeFits(10, -1));
  EXPECT_FALSE(frameSizeFits(32769, 2));
  EXPECT_FALSE(frameSizeFits(2, 40000));
  EXPECT_FALSE(frameSizeFits(32768, 8192));  // 1 GiB plus one row
  EXPECT_TRUE(frameSizeFits(16384, 16383));  // exactly 1 GiB with the extra row
}

}  // namespace
}  // namespace tarn

namespace tarn {
namespace {

// A bare H.264 stream tells no duration: every frame still comes, at its own time.
TEST(DecodeGraph, MovieWithoutDuration) {
  const NumberedMovie& movie = test::numberedMovie("numbered.mp4");
  const auto raw = test::generatedMedia("numbered-raw.h264",
                                        "-i " + test::numberedMoviePath(movie).string() +
                                            " -an -c:v copy -bsf:v h264_mp4toannexb -f h264");
  OpenedGraph opened = openDecodeGraph(raw);
  ASSERT_TRUE(opened.graph);
  EXPECT_EQ(opened.graph->durationTicks(), 0);
  FrameRecorder recorder(movie.width, movie.height);
  opened.graph->setSampleCallback(&recorder);
  opened.graph->run();
  ASSERT_TRUE(test::waitForComplete(*opened.graph));
  EXPECT_EQ(recorder.numbers(), zeroTo(50));
  const std::vector<double> times = recorder.times();
  for (size_t i = 1; i < times.size(); ++i) EXPECT_LT(times[i - 1], times[i]) << i;
}

}  // namespace
}  // namespace tarn

namespace tarn {
namespace {

TEST(DecodeGraphOpen, AnyCharacterOfAFileNameIsPartOfTheName) {
  test::ScratchDir dir;
  const auto folder = dir / R"(concat:a|b "x" $y `z` %p% ; & ?#)";
  std::filesystem::create_directories(folder);
  const auto movie = folder / "http:clip?#.mp4";
  std::filesystem::copy_file(test::numberedMoviePath(test::numberedMovie("numbered.mp4")), movie);
  OpenedGraph opened = openDecodeGraph(movie);
  ASSERT_EQ(opened.failure, OpenFailure::none);
  EXPECT_EQ(opened.graph->format().width, 160);
}

}  // namespace
}  // namespace tarn
