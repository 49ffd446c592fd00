#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/free_space.h"
#include "conversion/frame_budget.h"

namespace tarn {

class FrameFileWriter;
class Frontend;
class RunLog;
class SampleCallback;
struct EncoderRuns;
struct FrameGeometry;
struct FrameSourceState;
struct LogoPicture;
struct OutputOptions;
struct OwnAviCopies;
struct ResampleTables;
struct Settings;

// The state of the conversion run (one instance). `converting` itself lives in the frame
// source's record, which the streaming loop reads.
struct ConversionRunState {
  using Clock = std::chrono::steady_clock;

  // Set by Stop and by program exit; cleared at the end of the run.
  std::atomic<int32_t> conversionStopRequest{0};
  // Number of the next frame file; written by the streaming thread, polled by the wait loop.
  std::atomic<int32_t> frameNumber{0};
  // 1 when a frame file could not be written; the run then ends without an export.
  std::atomic<int32_t> frameWriteFailed{0};

  // Streaming thread only while frames flow (reset by the run before and after).
  int32_t batchCount = 0;
  Clock::time_point batchStartTime;
  Clock::time_point runStartTime;

  // Guards the texts below and the per-frame work against the run's start and end.
  std::mutex frameMutex;
  bool acceptingFrames = false;
  std::string etaText = "00.00.00";
  std::string elapsedText = "00.00.00";
  std::string frameWriteError;
  // The constant-rate slot of the run's first frame; later frames are placed relative to it.
  int64_t firstFrameSlot = -1;
  // Writes the frame files of the running run (frames are placed into its canvases).
  std::shared_ptr<FrameFileWriter> frameWriter;
  // Frames beyond this many are not taken (a re-export of a movie read only in part); -1: all.
  std::atomic<int32_t> frameLimit{-1};

  // Whether frame files are kept for another compression or consumed by the encoder.
  FramePolicy framePolicy = FramePolicy::keepWhenTheyFit;
  // How the temporary folder's space is read; folderSpace when empty. Tests give a small folder.
  std::function<std::optional<FolderSpace>(const std::string&)> tempFolderSpace;
};

// Everything one conversion run works with, owned elsewhere (the application object).
struct ConversionContext {
  Frontend& frontend;
  RunLog& log;
  std::string exeFolder;  // program folder, no trailing separator
  Settings& settings;
  OutputOptions& output;
  FrameSourceState& source;
  FrameGeometry& geometry;
  const LogoPicture& logo;
  const ResampleTables& tables;
  ConversionRunState& run;
  EncoderRuns& encoder;
  const OwnAviCopies& aviCopies;
  // Test seam: called once all frames of an unstopped run are written, before the export.
  std::function<void()> framesWritten;
};

}  // namespace tarn
