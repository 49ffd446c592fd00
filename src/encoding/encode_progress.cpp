#include "encoding/encode_progress.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "common/frontend.h"
#include "encoding/encoded_frames.h"
#include "encoding/encoder_runs.h"

namespace tarn {

void advanceSquares(std::array<int, 5>& greenLevels) {
  greenLevels[0] += 5;
  for (size_t k = 0; k + 1 < greenLevels.size(); ++k) {
    if (greenLevels[k] > 255) {
      greenLevels[k] = 255;
      greenLevels[k + 1] += 5;
    }
  }
  if (greenLevels[4] > 255) greenLevels.fill(20);
}

std::string processingTimeText(double seconds) {
  if (!(seconds > 0)) seconds = 0;
  const double hours = std::floor(seconds / 3600);
  const double minutes = std::floor((seconds - 3600 * hours) / 60);
  const double rest = std::floor(seconds - 3600 * hours - 60 * minutes);
  char text[64];
  std::snprintf(text, sizeof text, "Processing time: %02.0f:%02.0f:%02.0f", hours, minutes, rest);
  return text;
}

namespace {

// Opens the progress window of `kind`, starts `work` on the worker thread and animates the window
// until encoderRunning drops, handling window messages between passes. With `report`, the
// encoder tool's progress lines there are shown as well.
template <typename Work>
void waitWithProgressWindow(Frontend& frontend, EncoderRuns& runs, ProgressWindowKind kind,
                            Work work, std::optional<EncodedFramesFollower> report = {},
                            const std::function<void()>& eachPass = {}) {
  std::unique_ptr<ProgressWindow> window = frontend.openProgressWindow(kind);
  const auto start = std::chrono::steady_clock::now();
  // Set before the worker starts, so the loop below never misses the run.
  runs.encoderRunning = 1;
  {
    std::lock_guard lock(runs.mutex);
    runs.encodeThread = std::thread(std::move(work));
  }

  ProgressWindowState state;
  state.squareGreen.fill(20);
  int passes = 0;
  while (runs.encoderRunning != 0) {
    if (eachPass) eachPass();
    advanceSquares(state.squareGreen);
    if (++passes % 2 == 0) {
      state.animationFrame = state.animationFrame % 4 + 1;
      const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
      state.timeText = processingTimeText(elapsed.count());
    }
    if (report) {
      if (const auto encoded = report->poll()) {
        state.encodedFrames = encoded->frames;
        state.encodeTotal = encoded->total;
        state.encodeFramesPerSecond = encoded->framesPerSecond;
      }
    }
    if (window) window->update(state);
    if (kind == ProgressWindowKind::conversion) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      frontend.yield(30);
    } else {
      frontend.yield(32);
    }
  }
  // The tool's last report (the whole count) may have come after the last pass; the run read it
  // from the tool's whole report before that file went.
  if (report && window) {
    std::optional<EncodedFrames> encoded = report->poll();
    {
      std::lock_guard lock(runs.mutex);
      if (runs.lastEncoded) encoded = runs.lastEncoded;
    }
    if (encoded) {
      state.encodedFrames = encoded->frames;
      state.encodeTotal = encoded->total;
      state.encodeFramesPerSecond = encoded->framesPerSecond;
      window->update(state);
    }
  }
  window.reset();

  std::thread worker;
  {
    std::lock_guard lock(runs.mutex);
    worker = std::move(runs.encodeThread);
  }
  if (worker.joinable()) worker.join();
}

}  // namespace

void showEncodeProgress(Frontend& frontend, EncoderRuns& runs, const EncodeRequest& request,
                        RunLog& log, const std::function<void()>& eachPass) {
  frontend.yield(100);
  bool ownReport = false;
  std::optional<EncodedFramesFollower> follower;
  if (const auto report = mainEncodeReportFile(runs, request.tempStreamFolder, ownReport)) {
    follower.emplace(*report);
  }
  waitWithProgressWindow(
      frontend, runs, ProgressWindowKind::encode,
      [&runs, request, &log] { runMainEncode(runs, request, log); }, std::move(follower), eachPass);
  runs.encodeStarted = 0;
}

void showConversionProgress(Frontend& frontend, EncoderRuns& runs, const std::string& exeFolder,
                            std::atomic<int32_t>& streamState) {
  streamState = 1;
  frontend.yield(100);
  waitWithProgressWindow(frontend, runs, ProgressWindowKind::conversion,
                         [&runs, exeFolder] { runConversion(runs, exeFolder); });
  runs.encodeStarted = 0;
}

}  // namespace tarn
