#include "input/frame_source.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <new>
#include <thread>

#include "common/frontend.h"
#include "common/rounding.h"
#include "common/run_log.h"
#include "common/text.h"
#include "input/frame_rate.h"
#include "input/frame_source_state.h"

namespace tarn {
namespace {

constexpr int32_t kStripHeight = 12;
constexpr int32_t kStripFull = 1012;
constexpr int kPausedRefreshPasses = 100;  // paused: refresh once in 101 passes

void sleepFor(const FrameSourceContext& context, int milliseconds) {
  if (context.hooks.sleep) {
    context.hooks.sleep(milliseconds);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

void publishGraph(FrameSourceState& state, std::shared_ptr<DecodeGraph> graph) {
  std::lock_guard lock(state.graphMutex);
  state.graph = std::move(graph);
}

// The published properties of an open movie, computed before any of them is published.
struct MovieProperties {
  int32_t width = 0;
  int32_t height = 0;
  int32_t sampleSize = 0;
  int64_t durationTicks = 0;
  int64_t timePerFrame = 0;
  int32_t totalFrames = 0;
};

// W x (H+1) zero pixels for both frame buffers; false when memory is short.
bool allocateFrameBuffers(FrameSourceState& state, int32_t width, int32_t height) {
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height + 1);
  try {
    ZeroedBuffer<uint32_t> frame(pixels);
    ZeroedBuffer<uint32_t> grab(pixels);
    state.frameBuffer = std::move(frame);
    state.grabBuffer = std::move(grab);
  } catch (const std::bad_alloc&) {
    return false;
  }
  state.frameWordCount = width * height;
  return true;
}

void showLabels(FrameSourceContext& context, const std::string& path,
                const MovieProperties& movie) {
  Frontend& frontend = context.frontend;
  frontend.setInfoLabel(InfoLabel::videoFile, " " + trimBlanks(path) + " ");
  frontend.setInfoLabel(InfoLabel::frameSize,
                        std::to_string(movie.width) + "x" + std::to_string(movie.height));
  frontend.setInfoLabel(InfoLabel::fpsRate, fpsText(movie.timePerFrame) + " fps");
  frontend.setInfoLabel(InfoLabel::numFrames, std::to_string(movie.totalFrames));
  const double seconds = static_cast<double>(movie.durationTicks) / 10'000'000.0;
  frontend.setInfoLabel(InfoLabel::duration, context.hooks.durationText
                                                 ? context.hooks.durationText(seconds)
                                                 : decimalText(seconds));
}

void streamUntilStopped(FrameSourceContext& context, DecodeGraph& graph) {
  FrameSourceState& state = context.state;
  int pausedPasses = 0;
  while (state.streamState != 0) {
    if (state.converting == 1) {
      context.frontend.yield(100);
      continue;
    }
    if (state.previewPaused == 0) {
      if (context.hooks.refreshPreview) context.hooks.refreshPreview();
    } else if (++pausedPasses > kPausedRefreshPasses) {
      pausedPasses = 0;
      if (context.hooks.refreshPreview) context.hooks.refreshPreview();
    }
    const int64_t position = graph.positionTicks();
    state.positionTicks = position;
    const int64_t duration = state.durationTicks;
    const int32_t stripWidth =
        duration > 0 ? static_cast<int32_t>(roundHalfEven(static_cast<double>(kStripFull) *
                                                          static_cast<double>(position) /
                                                          static_cast<double>(duration)))
                     : 0;
    context.frontend.setProgressStrip(std::clamp(stripWidth, 0, kStripFull), kStripHeight);
    context.frontend.yield(50);
  }
  graph.stop();
  sleepFor(context, 100);
}

void tearDown(FrameSourceContext& context, std::shared_ptr<DecodeGraph>& graph) {
  FrameSourceState& state = context.state;
  // A conversion still working on the graph gets about a second to let go of it.
  for (int turn = 0; turn < 50 && state.converting == 1; ++turn) {
    context.frontend.yield(10);
    sleepFor(context, 10);
  }
  publishGraph(state, nullptr);
  graph.reset();  // the graph's thread ends here unless a caller still holds it for a moment
  state.sourceActive = 0;
  state.movieOpen = 0;
  context.frontend.drawPreviewTitle();
  context.log.writeLog("File exit Ok");
  context.frontend.setProgressStrip(1, kStripHeight);
  context.log.writeLog("File exit Final");
}

}  // namespace

std::string openFailureMessage(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::none:
      return {};
    case OpenFailure::sourceNotAdded:
      return "AddSourceFile Error";
    case OpenFailure::unsupportedMediaType:
      return "Unsupported media type!";
    case OpenFailure::noConnectedFormat:
    case OpenFailure::outOfMemory:
      return "Format of the file is not support.\r\nOr - File can be open by another app.";
  }
  return {};
}

int32_t runFrameSource(FrameSourceContext& context, const std::string& path) {
  FrameSourceState& state = context.state;
  if (state.sourceActive == 1) return 0;
  context.frontend.setProgressStrip(1, kStripHeight);
  int32_t idle = 0;
  if (!state.sourceActive.compare_exchange_strong(idle, 1)) return 0;  // another one got there

  auto fail = [&](OpenFailure failure, std::shared_ptr<DecodeGraph>& graph) {
    context.frontend.showMessage(openFailureMessage(failure), "Error Monitoring",
                                 MessageIcon::information, MessageButtons::ok);
    tearDown(context, graph);
    return 0;
  };

  std::shared_ptr<DecodeGraph> graph;
  // The path as given when it names a file (a name may begin or end with blanks), else trimmed.
  std::error_code missing;
  const std::string file = std::filesystem::exists(path, missing) ? path : trimNulsAndBlanks(path);
  OpenedGraph opened = openDecodeGraph(file, context.hooks.sound);
  // Failures of the file itself come before the "Render file" line, those of its video format
  // after it, as when the graph is built step by step.
  if (opened.failure == OpenFailure::sourceNotAdded ||
      opened.failure == OpenFailure::unsupportedMediaType) {
    return fail(opened.failure, graph);
  }
  graph = std::move(opened.graph);
  if (graph) {
    publishGraph(state, graph);
    state.frameStepAvailable = graph->canStep() ? 1 : 0;
    graph->pause();
    graph->useDefaultClock();
  }
  context.log.writeLog("Render file: " + path);
  if (!graph) return fail(opened.failure, graph);

  const VideoFormat format = graph->format();
  MovieProperties movie;
  movie.width = format.width;
  movie.height = format.height;
  movie.sampleSize = format.sampleSize;
  movie.durationTicks = graph->durationTicks();
  state.durationTicks = movie.durationTicks;
  state.durationSeconds = static_cast<double>(movie.durationTicks) / 10'000'000.0;
  context.log.writeLog("Video File Duration = " + decimalText(state.durationSeconds));
  if (state.converting == 0) graph->run();

  state.streamState = 2;
  movie.timePerFrame =
      frameDurationTicks(probeFrameRate(state.probeText.get()), format.averageTimePerFrame);
  const ExactRate rate =
      exactRateFor(movie.timePerFrame, format.rateNumerator, format.rateDenominator);
  movie.totalFrames = frameCountOf(movie.durationTicks, movie.timePerFrame, rate);
  if (!allocateFrameBuffers(state, movie.width, movie.height)) {
    state.streamState = 0;
    return fail(OpenFailure::outOfMemory, graph);
  }
  state.sampleSize = movie.sampleSize;
  state.sourceWidth = movie.width;
  state.sourceHeight = movie.height;
  state.timePerFrame = movie.timePerFrame;
  state.rateNumerator = rate.numerator;
  state.rateDenominator = rate.denominator;
  state.totalFrames = movie.totalFrames;

  context.log.writeLog("Frame Size = " + std::to_string(movie.width) + "x" +
                       std::to_string(movie.height));
  context.log.writeLog("getTimePerFrame = " +
                       decimalText(static_cast<double>(movie.timePerFrame) / 10'000'000.0));
  context.log.writeLog("FPS = " + fpsText(movie.timePerFrame));
  context.log.writeLog("numframes = " + std::to_string(movie.totalFrames));
  showLabels(context, path, movie);
  sleepFor(context, 200);

  // A stop requested while opening (streamState set to 0) is not overwritten.
  int32_t opening = 2;
  if (state.streamState.compare_exchange_strong(opening, 1)) {
    streamUntilStopped(context, *graph);
  } else {
    graph->stop();
  }
  tearDown(context, graph);
  return 0;
}

void grabCurrentFrame(FrameSourceState& state) {
  const std::shared_ptr<DecodeGraph> graph = state.currentGraph();
  if (!graph) return;
  ZeroedBuffer<uint32_t>& grab = state.grabBuffer;
  const size_t grabBytes = grab.size() * sizeof(uint32_t);
  const size_t sampleBytes =
      state.sampleSize > 0 ? std::min(grabBytes, static_cast<size_t>(state.sampleSize)) : grabBytes;
  // Before the first frame the copy fails and grabBuffer keeps what it held.
  graph->copyCurrentFrame(reinterpret_cast<uint8_t*>(grab.data()), sampleBytes);
  const size_t words = std::min({static_cast<size_t>(std::max(state.frameWordCount, 0)),
                                 grab.size(), state.frameBuffer.size()});
  std::copy_n(grab.data(), words, state.frameBuffer.data());
}

}  // namespace tarn
