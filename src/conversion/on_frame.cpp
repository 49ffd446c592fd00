#include "conversion/on_frame.h"

#include <chrono>

#include "common/rounding.h"
#include "common/settings.h"
#include "conversion/conversion_run_state.h"
#include "conversion/frame_file_writer.h"
#include "conversion/frame_geometry.h"
#include "conversion/frame_preview.h"
#include "conversion/timing_text.h"
#include "input/frame_source_state.h"

namespace tarn {
namespace {

std::string clockText(int64_t seconds) {
  return fitToEightCharacters(formatClock(
      static_cast<int32_t>(std::clamp<int64_t>(seconds, 0, std::numeric_limits<int32_t>::max()))));
}

}  // namespace

std::string estimatedTimeText(double batchSeconds, int32_t totalFrames) {
  constexpr float kPerFrameOfBatch = 0.0333f;  // 1/30, as the program always wrote it
  return clockText(roundHalfEven(static_cast<double>(kPerFrameOfBatch) * batchSeconds *
                                 static_cast<double>(totalFrames)));
}

std::string elapsedTimeText(double runSeconds) {
  return clockText(roundHalfEven(runSeconds));
}

void onFrame(ConversionContext& context) {
  ConversionRunState& run = context.run;
  FrameGeometry& geometry = context.geometry;
  FrameSourceState& source = context.source;
  std::lock_guard lock(run.frameMutex);
  if (!run.acceptingFrames) return;

  const int32_t width = geometry.frameWidth;
  const int32_t height = geometry.frameHeight;
  drawFramePreview(
      context.frontend, source.frameBuffer.data(), width, height,
      previewProgressLines(run.etaText, run.elapsedText, kLensName, context.output.resizeIndex));

  FrameFileWriter& writer = *run.frameWriter;
  const int32_t number = run.frameNumber.load();
  placeFrame(geometry, source.frameBuffer.data(), writer.imageFor(number));
  writer.submit(number);
  if (std::string error = writer.error(); !error.empty()) {
    // A short sequence must never become a "successful" movie: stop taking frames.
    run.frameWriteError = std::move(error);
    run.acceptingFrames = false;
    run.frameWriteFailed = 1;
    return;
  }

  if (++run.batchCount > 29) {
    const auto now = ConversionRunState::Clock::now();
    const std::chrono::duration<double> batch = now - run.batchStartTime;
    const std::chrono::duration<double> total = now - run.runStartTime;
    run.etaText = estimatedTimeText(batch.count(), source.totalFrames);
    run.elapsedText = elapsedTimeText(total.count());
    run.batchCount = 0;
    run.batchStartTime = now;
  }
  ++run.frameNumber;
}

}  // namespace tarn
