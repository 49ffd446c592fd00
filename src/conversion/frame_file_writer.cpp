#include "conversion/frame_file_writer.h"

#include <algorithm>
#include <cstring>

#include "common/uncached_file.h"

namespace tarn {

FrameFileWriter::FrameFileWriter(std::string folder, const FrameFileHeaders& headers,
                                 std::span<const uint32_t> preparedCanvas, size_t imageBytes,
                                 CanvasPixelRange changing)
    : folder_(std::move(folder)), headers_(headers), imageBytes_(imageBytes) {
  constexpr size_t kPixelBytes = sizeof(uint32_t);
  changingFirstByte_ = std::min(changing.first, imageBytes_ / kPixelBytes) * kPixelBytes;
  changingBytes_ =
      std::min(changing.count, (imageBytes_ - changingFirstByte_) / kPixelBytes) * kPixelBytes;
  for (auto& canvas : canvases_) canvas.assign(preparedCanvas.begin(), preparedCanvas.end());
  thread_ = std::thread([this] { run(); });
}

FrameFileWriter::~FrameFileWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

uint32_t* FrameFileWriter::canvasFor(int32_t frameNumber) {
  const size_t slot = static_cast<size_t>(frameNumber & 1);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !pending_[slot] || !error_.empty(); });
  return canvases_[slot].data();
}

void FrameFileWriter::submit(int32_t frameNumber) {
  const size_t slot = static_cast<size_t>(frameNumber & 1);
  {
    std::lock_guard lock(mutex_);
    if (!error_.empty()) return;
    pending_[slot] = true;
    numbers_[slot] = frameNumber;
  }
  changed_.notify_all();
}

void FrameFileWriter::drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock,
                [&] { return (!pending_[0] && !pending_[1] && !writing_) || !error_.empty(); });
}

std::string FrameFileWriter::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void FrameFileWriter::run() {
  // The whole file is staged in one aligned buffer, so that it can go to disk directly; the
  // canvas is free for the next frame as soon as it is copied. The unchanging bands are staged
  // once, from the prepared canvas.
  const size_t fileBytes = headers_.fileHeader.size() + headers_.infoHeader.size() + imageBytes_;
  AlignedBuffer staging(fileBytes);
  std::unique_lock lock(mutex_);
  if (staging.size() < fileBytes) {
    error_ = "no memory for a frame file of " + std::to_string(fileBytes) + " bytes";
    changed_.notify_all();
    return;
  }
  std::copy(headers_.fileHeader.begin(), headers_.fileHeader.end(), staging.data());
  std::copy(headers_.infoHeader.begin(), headers_.infoHeader.end(),
            staging.data() + headers_.fileHeader.size());
  uint8_t* stagedImage = staging.data() + headers_.fileHeader.size() + headers_.infoHeader.size();
  std::memcpy(stagedImage, canvases_[0].data(), imageBytes_);
  for (;;) {
    const size_t slot = static_cast<size_t>(nextToWrite_ & 1);
    changed_.wait(lock, [&] { return pending_[slot] || stopping_; });
    if (!pending_[slot]) return;  // stopping with nothing left to write
    const int32_t number = numbers_[slot];
    const auto* image = reinterpret_cast<const uint8_t*>(canvases_[slot].data());
    lock.unlock();
    std::memcpy(stagedImage + changingFirstByte_, image + changingFirstByte_, changingBytes_);
    lock.lock();
    pending_[slot] = false;
    writing_ = true;
    ++nextToWrite_;
    changed_.notify_all();
    lock.unlock();
    const std::string path = frameFilePath(folder_, number);
    const int error = writeFileUncached(path, staging, fileBytes);
    lock.lock();
    writing_ = false;
    if (error != 0) {
      error_ = path + ": " + std::strerror(error);
      pending_ = {};
    }
    changed_.notify_all();
    if (!error_.empty()) return;
  }
}

}  // namespace tarn
