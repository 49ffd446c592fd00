#include "input/opened_movie.h"

#include <new>

#include "input/frame_rate.h"
#include "input/frame_source_state.h"

namespace tarn {

bool publishOpenedMovie(FrameSourceState& source, OpenedGraph opened, const std::string& path) {
  if (!opened.graph) return false;
  const VideoFormat format = opened.graph->format();
  const size_t pixels = static_cast<size_t>(format.width) * static_cast<size_t>(format.height + 1);
  try {
    source.frameBuffer.assign(pixels, 0);
    source.grabBuffer.assign(pixels, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  source.sourceWidth = format.width;
  source.sourceHeight = format.height;
  source.sampleSize = format.sampleSize;
  source.frameWordCount = format.width * format.height;
  source.durationTicks = opened.graph->durationTicks();
  source.durationSeconds = static_cast<double>(source.durationTicks) / 10'000'000.0;
  source.timePerFrame = format.averageTimePerFrame;
  const ExactRate rate =
      exactRateFor(source.timePerFrame, format.rateNumerator, format.rateDenominator);
  source.rateNumerator = rate.numerator;
  source.rateDenominator = rate.denominator;
  source.totalFrames = frameCountOf(source.durationTicks, source.timePerFrame, rate);
  source.moviePath = path;
  source.movieOpen = 1;
  source.streamState = 1;
  std::lock_guard lock(source.graphMutex);
  source.graph = std::move(opened.graph);
  return true;
}

}  // namespace tarn
