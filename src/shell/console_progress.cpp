#include "shell/console_progress.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "conversion/timing_text.h"

namespace tarn {
namespace {

int percentOf(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  return static_cast<int>(std::clamp<int64_t>(done * 100 / total, 0, 100));
}

}  // namespace

std::string progressText(const StageProgress& progress, ProgressStyle style) {
  // More frames than announced: the count was an estimate, the run is what it is.
  const int64_t total = progress.total > 0 ? std::max(progress.total, progress.done) : 0;
  const int percent = percentOf(progress.done, total);
  if (style == ProgressStyle::json) {
    nlohmann::json object = {{"file", progress.file},   {"stage", progress.stage},
                             {"frames", progress.done}, {"total", nullptr},
                             {"percent", nullptr},      {"seconds_left", nullptr}};
    if (total > 0) {
      object["total"] = total;
      object["percent"] = percent;
    }
    if (progress.secondsLeft) object["seconds_left"] = std::lround(*progress.secondsLeft);
    // Invalid UTF-8 in a file name is replaced rather than refused.
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  std::string text = progress.stage + " ";
  if (style == ProgressStyle::bar) {
    constexpr int kBarWidth = 30;
    const int filled = percent * kBarWidth / 100;
    text += "[" + std::string(static_cast<size_t>(filled), '#') +
            std::string(static_cast<size_t>(kBarWidth - filled), '.') + "] ";
  }
  text += std::to_string(progress.done);
  if (total > 0) text += "/" + std::to_string(total) + " " + std::to_string(percent) + "%";
  const std::string left = progress.secondsLeft
                               ? formatClock(static_cast<int32_t>(
                                     std::min(std::lround(*progress.secondsLeft), long{INT32_MAX})))
                               : std::string("--:--:--");
  return text + " " + left + " left";
}

void StageClock::begin(Clock::time_point now, int64_t done) {
  begun_ = true;
  start_ = now;
  startDone_ = done;
}

std::optional<double> StageClock::secondsLeft(int64_t done, int64_t total, Clock::time_point now,
                                              double hintRate) const {
  if (total <= 0) return std::nullopt;
  if (done >= total) return 0.0;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  double rate = hintRate;
  if (begun_ && done > startDone_ && elapsed >= 1.0) {
    rate = static_cast<double>(done - startDone_) / elapsed;
  }
  if (!(rate > 0)) return std::nullopt;
  return static_cast<double>(total - done) / rate;
}

}  // namespace tarn
