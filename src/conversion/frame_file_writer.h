#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "common/uncached_file.h"
#include "conversion/frame_files.h"

namespace tarn {

// Writes the frame files of a run on a thread of its own, so that the next frame is decoded
// and placed while this one goes to disk. Two file images (headers, then the canvas) take turns:
// frame n is placed into image(n) while the writer may still be writing frame n - 1 from the
// other one. Both start with the prepared canvas (its bands drawn), and placement only ever
// changes the frame rows. The images are aligned so that files go to disk straight from them,
// around the page cache where the file system allows it. Frames are never dropped: a caller that
// is ahead waits for the writer.
class FrameFileWriter {
 public:
  FrameFileWriter(std::string folder, const FrameFileHeaders& headers,
                  std::span<const uint8_t> preparedImage);
  ~FrameFileWriter();  // writes what was handed over, then ends its thread
  FrameFileWriter(const FrameFileWriter&) = delete;
  FrameFileWriter& operator=(const FrameFileWriter&) = delete;

  // The canvas bytes (bottom row first) of the file image for frame `frameNumber`, once the
  // writer is done with its previous use; null when the images could not be allocated. The bytes
  // follow the 54-byte headers, so they are not aligned for 4-byte access: copy into them.
  uint8_t* imageFor(int32_t frameNumber);
  // Hands the image of `frameNumber` over to be written as that frame's file.
  void submit(int32_t frameNumber);
  // Hands over frame `frameNumber` (at least 1) as a copy of frame `frameNumber - 1`: a frame slot
  // that a movie with varying frame times leaves empty shows the picture before it.
  void repeatPrevious(int32_t frameNumber);
  // Waits until every handed-over frame is written (or the writer has failed).
  void drain();
  // The first failure, empty while every write succeeded. After a failure nothing more is written.
  std::string error() const;

 private:
  void run();

  const std::string folder_;
  const size_t fileBytes_;
  std::array<AlignedBuffer, 2> files_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::array<bool, 2> pending_{};  // image handed over, not yet written
  std::array<int32_t, 2> numbers_{};
  int32_t nextToWrite_ = 0;
  bool stopping_ = false;
  std::string error_;
  std::thread thread_;
};

}  // namespace tarn
