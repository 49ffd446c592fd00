#include "conversion/frame_budget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarn {
namespace {

constexpr int32_t kMostFiles = 64;
constexpr int32_t kFewestFiles = 2;
constexpr uint64_t kMostWindowBytes = 1'000'000'000;
constexpr uint64_t kMostMargin = 5'000'000'000;
constexpr uint64_t kWavHeaderBytes = 44;

std::string gigabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
  return text;
}

}  // namespace

int32_t frameWindowFor(uint64_t frameFileBytes) {
  if (frameFileBytes == 0) return kMostFiles;
  const uint64_t byBytes = kMostWindowBytes / frameFileBytes;
  return static_cast<int32_t>(
      std::clamp<uint64_t>(byBytes, kFewestFiles, static_cast<uint64_t>(kMostFiles)));
}

uint64_t soundFileBytes(double seconds) {
  if (!(seconds > 0)) return 0;
  return kWavHeaderBytes + static_cast<uint64_t>(std::ceil(seconds * 44100.0)) * 4;
}

FrameBudget planFrameFiles(FramePolicy policy, const FrameBudgetInput& input) {
  FrameBudget budget;
  const uint64_t sound = soundFileBytes(input.durationSeconds);
  const bool lengthKnown = input.lengthKnown && input.totalFrames > 0;
  const uint64_t allFrames =
      lengthKnown ? input.frameFileBytes * static_cast<uint64_t>(input.totalFrames) : 0;
  bool consume = false;
  if (lengthKnown && policy == FramePolicy::alwaysConsume) {
    consume = true;
  } else if (lengthKnown && input.space) {
    const uint64_t margin = std::min(kMostMargin, input.space->capacity / 10);
    consume = allFrames + sound + margin > input.space->available;
  }
  // Kept frames either fit, or the movie's length is unknown: a failing write then ends the run.
  if (!consume) return budget;
  budget.consume = true;
  // The window shrinks to what the folder holds beside the sound; fewer than two cannot go.
  int64_t window = std::min(frameWindowFor(input.frameFileBytes), std::max(input.totalFrames, 2));
  if (input.space && input.frameFileBytes > 0) {
    const uint64_t room = input.space->available > sound ? input.space->available - sound : 0;
    window = std::min<int64_t>(window, static_cast<int64_t>(room / input.frameFileBytes));
  }
  budget.window = static_cast<int32_t>(std::max<int64_t>(window, kFewestFiles));
  if (window < kFewestFiles) {
    const uint64_t least = input.frameFileBytes * kFewestFiles + sound;
    budget.refusal = "Not enough free space in the temporary folder " + input.folder +
                     ": the frame files of this movie need at least " + gigabytes(least) + ", " +
                     gigabytes(input.space ? input.space->available : 0) + " are free.";
  }
  return budget;
}

std::string frameBudgetLogLine(const FrameBudget& budget) {
  if (!budget.consume) return "Frame files: kept for another compression";
  return "Frame files: consumed by the encoder, at most " + std::to_string(budget.window) +
         " on disk";
}

}  // namespace tarn
