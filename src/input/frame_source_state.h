#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/shared_text.h"
#include "common/zeroed_buffer.h"
#include "input/decode_graph.h"

namespace tarn {

// What the frame source publishes about the open movie, and the flags threads share over it.
// Flags are written whole by one thread and polled by others.
struct FrameSourceState {
  std::atomic<int32_t> sourceActive{0};  // 1 while runFrameSource runs
  std::atomic<int32_t> streamState{0};   // 0 stop/idle, 1 streaming, 2 opening
  std::atomic<int32_t> previewPaused{0};
  std::atomic<int32_t> movieOpen{0};
  std::atomic<int32_t> frameStepAvailable{0};
  std::atomic<int32_t> videoLoaded{0};
  std::atomic<int32_t> movieChooserBusy{0};
  // 1 while a conversion run owns the graph (set and cleared by the conversion run); the
  // streaming loop then leaves the frame buffers alone.
  std::atomic<int32_t> converting{0};

  // Published when a movie opens; read by the conversion run.
  int32_t sourceWidth = 400;
  int32_t sourceHeight = 300;
  int32_t sampleSize = 0;
  int64_t durationTicks = 0;
  double durationSeconds = 0.0;
  std::atomic<int64_t> positionTicks{0};
  int64_t timePerFrame = 0;
  // The stream's own rate where it agrees with timePerFrame (30000/1001); numerator 0 otherwise.
  int32_t rateNumerator = 0;
  int32_t rateDenominator = 0;
  int32_t totalFrames = 0;
  // Written by the movie-load thread, read by the window thread.
  SharedText moviePath;  // last chosen movie
  SharedText probeText;  // the encoder tool's description of it

  // W x (H+1) pixels each.
  ZeroedBuffer<uint32_t> frameBuffer = ZeroedBuffer<uint32_t>(400 * 301);
  ZeroedBuffer<uint32_t> grabBuffer = ZeroedBuffer<uint32_t>(400 * 301);
  int32_t frameWordCount = 400 * 300;
  // Presentation time of the frame in frameBuffer, 100-ns ticks; set with it by the callback.
  int64_t frameTicks = 0;

  // The open graph; guarded by graphMutex for the pointer itself (the graph is thread-safe).
  std::mutex graphMutex;
  std::shared_ptr<DecodeGraph> graph;
  std::shared_ptr<DecodeGraph> currentGraph() {
    std::lock_guard lock(graphMutex);
    return graph;
  }
};

}  // namespace tarn
