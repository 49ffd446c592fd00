#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "common/folder_deletion_watch.h"
#include "common/process.h"
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
//
// Whole blocks of the file that are zero in the prepared canvas and outside `placedBytes` (the
// canvas bytes a frame changes: its rows) are never written: they stay holes, which read as zeros.
// Black bands thus cost neither disk space nor transfer time, for the writer or the encoder.
//
// With a window of N files (consumed frame files: the encoder deletes each file once it has read
// it), frame n is written only once the file of frame n - N is gone, so that no more than N frame
// files are ever on disk. The writer then waits for the encoder, as long as it takes, until
// abandon() is called or the consumer has ended.
class FrameFileWriter {
 public:
  FrameFileWriter(std::string folder, const FrameFileHeaders& headers,
                  std::span<const uint8_t> preparedImage, ByteRange placedBytes,
                  int32_t window = 0);
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
  // Gives up every frame not yet written and ends any wait (for the encoder, or for an image):
  // the run is over. Any thread; needs no lock the frame callback may hold.
  void abandon();
  // Every handed-over frame is written (or the writer has failed or was abandoned).
  bool idle() const;
  // The process that consumes the files: a writer waiting for it gives up once it has ended.
  void setConsumer(std::shared_ptr<ChildProcess> consumer);
  // The writer is holding a frame back until the encoder has read an older one.
  bool waitingForEncoder() const { return waitingForEncoder_; }

 private:
  void run();
  // Waits until the file of frame `number` - window is gone; false when abandoned meanwhile.
  bool waitForRoom(int32_t number);

  const std::string folder_;
  const size_t fileBytes_;
  const int32_t window_;
  std::vector<ByteRange> zeroBlocks_;  // left as holes in every file
  std::atomic<bool> abandoned_{false};
  std::atomic<bool> waitingForEncoder_{false};
  std::unique_ptr<FolderDeletionWatch> deletions_;  // wakes a writer waiting for room
  std::shared_ptr<ChildProcess> consumer_;          // guarded by mutex_
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
