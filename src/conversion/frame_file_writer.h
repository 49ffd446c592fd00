#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "conversion/frame_files.h"

namespace tarn {

// The pixels of a canvas that frame placement changes; the rest is the same in every frame file.
struct CanvasPixelRange {
  size_t first = 0;
  size_t count = SIZE_MAX;  // to the end
};

// Writes the frame files of a run on a thread of its own, so that the next frame is decoded
// and placed while this one goes to disk. Two canvases take turns: frame n is placed into
// canvas(n) while the writer may still be writing frame n - 1 from the other one. Both start as
// copies of the prepared canvas (its bands drawn), and placement only ever changes the frame rows.
// Frames are never dropped: a caller that is ahead waits for the writer. Files bypass the page
// cache where the file system allows it.
class FrameFileWriter {
 public:
  FrameFileWriter(std::string folder, const FrameFileHeaders& headers,
                  std::span<const uint32_t> preparedCanvas, size_t imageBytes,
                  CanvasPixelRange changing = {});
  ~FrameFileWriter();  // writes what was handed over, then ends its thread
  FrameFileWriter(const FrameFileWriter&) = delete;
  FrameFileWriter& operator=(const FrameFileWriter&) = delete;

  // The canvas for frame `frameNumber`, once the writer is done with its previous use.
  uint32_t* canvasFor(int32_t frameNumber);
  // Hands the canvas of `frameNumber` over to be written as that frame's file.
  void submit(int32_t frameNumber);
  // Waits until every handed-over frame is written (or the writer has failed).
  void drain();
  // The first failure, empty while every write succeeded. After a failure nothing more is written.
  std::string error() const;

 private:
  void run();

  const std::string folder_;
  const FrameFileHeaders headers_;
  const size_t imageBytes_;
  size_t changingFirstByte_ = 0;
  size_t changingBytes_ = 0;
  std::array<std::vector<uint32_t>, 2> canvases_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::array<bool, 2> pending_{};  // canvas handed over, not yet copied for writing
  bool writing_ = false;           // a copied frame is being written
  std::array<int32_t, 2> numbers_{};
  int32_t nextToWrite_ = 0;
  bool stopping_ = false;
  std::string error_;
  std::thread thread_;
};

}  // namespace tarn
