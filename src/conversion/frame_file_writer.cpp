#include "conversion/frame_file_writer.h"

#include <algorithm>
#include <cstring>

namespace tarn {

namespace {
constexpr size_t kHeaderBytes = 54;
}

FrameFileWriter::FrameFileWriter(std::string folder, const FrameFileHeaders& headers,
                                 std::span<const uint8_t> preparedImage)
    : folder_(std::move(folder)), fileBytes_(kHeaderBytes + preparedImage.size()) {
  for (AlignedBuffer& file : files_) {
    file = AlignedBuffer(fileBytes_);
    if (file.size() < fileBytes_) {
      error_ = "no memory for a frame file of " + std::to_string(fileBytes_) + " bytes";
      return;  // no thread: every call below sees the failure
    }
    std::copy(headers.fileHeader.begin(), headers.fileHeader.end(), file.data());
    std::copy(headers.infoHeader.begin(), headers.infoHeader.end(),
              file.data() + headers.fileHeader.size());
    std::copy(preparedImage.begin(), preparedImage.end(), file.data() + kHeaderBytes);
  }
  thread_ = std::thread([this] { run(); });
}

FrameFileWriter::~FrameFileWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

uint8_t* FrameFileWriter::imageFor(int32_t frameNumber) {
  const size_t slot = static_cast<size_t>(frameNumber & 1);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !pending_[slot] || !error_.empty(); });
  return files_[slot].size() >= fileBytes_ ? files_[slot].data() + kHeaderBytes : nullptr;
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

void FrameFileWriter::repeatPrevious(int32_t frameNumber) {
  uint8_t* image = imageFor(frameNumber);
  if (!image || frameNumber < 1) return;
  // The previous image is only read, by the writer thread as well: no wait for it is needed.
  const AlignedBuffer& previous = files_[static_cast<size_t>((frameNumber - 1) & 1)];
  std::memcpy(image, previous.data() + kHeaderBytes, fileBytes_ - kHeaderBytes);
  submit(frameNumber);
}

void FrameFileWriter::drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return (!pending_[0] && !pending_[1]) || !error_.empty(); });
}

std::string FrameFileWriter::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void FrameFileWriter::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    const size_t slot = static_cast<size_t>(nextToWrite_ & 1);
    changed_.wait(lock, [&] { return pending_[slot] || stopping_; });
    if (!pending_[slot]) return;  // stopping with nothing left to write
    const std::string path = frameFilePath(folder_, numbers_[slot]);
    lock.unlock();
    const int error = writeFileUncached(path, files_[slot], fileBytes_);
    lock.lock();
    pending_[slot] = false;
    ++nextToWrite_;
    if (error != 0) {
      error_ = path + ": " + std::strerror(error);
      pending_ = {};
    }
    changed_.notify_all();
    if (!error_.empty()) return;
  }
}

}  // namespace tarn
