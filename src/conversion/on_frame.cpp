#include "conversion/on_frame.h"

#include <algorithm>
#include <chrono>

#include "common/rounding.h"
#include "common/settings.h"
#include "conversion/conversion_run_state.h"
#include "conversion/frame_file_writer.h"
#include "conversion/frame_geometry.h"
#include "conversion/frame_preview.h"
#include "conversion/timing_text.h"
#include "input/frame_rate.h"
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

void onFrame(ConversionContext& context, const uint32_t* frame) {
  ConversionRunState& run = context.run;
  FrameGeometry& geometry = context.geometry;
  FrameSourceState& source = context.source;
  std::lock_guard lock(run.frameMutex);
  if (!run.acceptingFrames) return;

  const int32_t width = geometry.frameWidth;
  const int32_t height = geometry.frameHeight;
  drawFramePreview(
      context.frontend, frame, width, height,
      previewProgressLines(run.etaText, run.elapsedText, kLensName, context.output.resizeIndex));

  FrameFileWriter& writer = *run.frameWriter;
  // Frames go onto the output's constant rate by their times, so that a movie whose frame times
  // vary keeps its length: a frame whose slot is already filled is left out, and slots left empty
  // before it repeat the picture before it.
  int32_t number = run.frameNumber.load();
  const int32_t limit = run.frameLimit;
  if (limit >= 0 && number >= limit) return;
  if (source.timePerFrame > 0) {
    const ExactRate rate{source.rateNumerator, source.rateDenominator};
    const int64_t slot = frameSlotAt(source.frameTicks, source.timePerFrame, rate);
    if (run.firstFrameSlot < 0) run.firstFrameSlot = slot;
    const int64_t wanted = slot - run.firstFrameSlot;
    if (number > 0 && wanted < number) return;
    // A time far beyond the movie's end (a damaged time stamp) repeats no more than up to the end.
    int64_t repeatUntil = source.totalFrames > 0
                              ? std::min<int64_t>(wanted, std::max(source.totalFrames - 1, number))
                              : wanted;
    if (limit >= 0) repeatUntil = std::min<int64_t>(repeatUntil, limit - 1);
    for (; number > 0 && number < repeatUntil; ++number) {
      writer.repeatPrevious(number);
      run.frameNumber = number + 1;
    }
  }
  placeFrame(geometry, frame, writer.imageFor(number));
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
