#include "input/open_movie.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/frontend.h"
#include "common/run_log.h"
#include "common/text.h"
#include "input/frame_source_state.h"
#include "input/media_probe.h"

namespace tarn {
namespace {

void sleepFor(const FrameSourceContext& context, int milliseconds) {
  if (context.hooks.sleep) {
    context.hooks.sleep(milliseconds);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

}  // namespace

void openMovie(FrameSourceContext& context, const std::string& path) {
  FrameSourceState& state = context.state;
  state.streamState = 2;
  sleepFor(context, 200);
  state.videoLoaded = 1;
  state.streamState = 0;  // ends the loop of a movie still open
  context.frontend.yield(1000);
  state.moviePath = path;  // whole: only what is displayed may be shortened
  state.movieOpen = 1;
  runFrameSource(context, path);
  state.streamState = 1;
  sleepFor(context, 100);
  state.streamState = 0;
  context.frontend.clearPreview();
}

void stopGraphBeforeChooser(FrameSourceContext& context) {
  context.log.writeLog("GetMultipleFiles pMediaControl begin");
  if (const auto graph = context.state.currentGraph()) {
    graph->stop();
    sleepFor(context, 100);
  }
  context.log.writeLog("GetMultipleFiles pMediaControl Ok");
}

void loadChosenMovie(FrameSourceContext& context, const std::string& path,
                     const std::filesystem::path& exeFolder,
                     const std::filesystem::path& probeFolder) {
  if (trimBlanks(path).empty()) return;
  std::string description;
  if (probeMovie(path, exeFolder, description, probeFolder)) {
    context.state.probeText = std::move(description);
  }
  openMovie(context, path);
}

void endMovieChoice(FrameSourceContext& context) {
  FrameSourceState& state = context.state;
  state.streamState = 0;
  const size_t pixels = static_cast<size_t>(std::max(state.sourceWidth, 0)) *
                        static_cast<size_t>(std::max(state.sourceHeight, 0));
  std::fill_n(state.frameBuffer.begin(), std::min(pixels, state.frameBuffer.size()), 0u);
  std::fill_n(state.grabBuffer.begin(), std::min(pixels, state.grabBuffer.size()), 0u);
}

}  // namespace tarn
