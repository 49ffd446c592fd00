#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tarn {

// How the headless front end shows progress: a bar that rewrites one terminal line, a plain line
// per report, one JSON object per line, or nothing.
enum class ProgressStyle { bar, lines, json, none };

// One progress report of a stage of a run: "frames" (frame files written) or "encode" (frames
// the encoder has encoded).
struct StageProgress {
  std::string file;  // the movie being converted
  std::string stage;
  int64_t done = 0;
  int64_t total = 0;  // 0 when unknown
  std::optional<double> secondsLeft;
};

// The report as text, without a line end: for a bar or a plain line
//   "frames [###.......] 120/250 48% 00:00:12 left"  /  "encode 120/250 48% 00:00:12 left"
// and for JSON {"file":..,"stage":..,"frames":..,"total":..,"percent":..,"seconds_left":..}
// (total, percent and seconds_left null when unknown).
std::string progressText(const StageProgress& progress, ProgressStyle style);

// The estimate of the time a stage still takes, from its pace since its first sample. Before a
// second of pace is known, the rate the worker itself reports stands in (`hintRate`, frames per
// second), so the first report already has a right estimate.
class StageClock {
 public:
  using Clock = std::chrono::steady_clock;
  // The stage begins now with `done` frames.
  void begin(Clock::time_point now, int64_t done);
  bool begun() const { return begun_; }
  std::optional<double> secondsLeft(int64_t done, int64_t total, Clock::time_point now,
                                    double hintRate = 0) const;

 private:
  bool begun_ = false;
  Clock::time_point start_;
  int64_t startDone_ = 0;
};

}  // namespace tarn
