#include "conversion/frame_file_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace tarn {

namespace {
constexpr size_t kHeaderBytes = 54;
// How often a writer that waits for the encoder looks whether a frame file is gone, where the
// system cannot say when a file is deleted: short against a frame's encoding time, long against a
// stat call.
constexpr auto kRoomPoll = std::chrono::milliseconds(2);
// Where it can, deletions wake the writer; it then looks only this often whether the encoder has
// ended without taking the file.
constexpr auto kConsumerCheck = std::chrono::milliseconds(50);

// The whole blocks of a frame file (the 54 header bytes, then `image`; its last block may be
// partial) that hold only zeros and lie outside `changing`, runs of them merged. The first block
// holds the headers: it is never zero.
std::vector<ByteRange> constantZeroBlocks(std::span<const uint8_t> image, ByteRange changing) {
  const size_t size = kHeaderBytes + image.size();
  std::vector<ByteRange> zeros;
  for (size_t block = kDirectAlignment; block < size; block += kDirectAlignment) {
    const size_t end = std::min(block + kDirectAlignment, size);
    if (block < changing.end && changing.begin < end) continue;
    const uint8_t* bytes = image.data() + (block - kHeaderBytes);
    if (std::any_of(bytes, bytes + (end - block), [](uint8_t byte) { return byte != 0; })) continue;
    if (!zeros.empty() && zeros.back().end == block) {
      zeros.back().end = end;
    } else {
      zeros.push_back({block, end});
    }
  }
  return zeros;
}

bool fileGone(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) != 0 && errno == ENOENT;
}
}  // namespace

FrameFileWriter::FrameFileWriter(std::string folder, const FrameFileHeaders& headers,
                                 std::span<const uint8_t> preparedImage, ByteRange placedBytes,
                                 int32_t window)
    : folder_(std::move(folder)),
      fileBytes_(kHeaderBytes + preparedImage.size()),
      window_(window > 0 ? std::max(window, 2) : 0) {
  static_assert(kDirectAlignment >= kHeaderBytes);
  zeroBlocks_ = constantZeroBlocks(
      preparedImage, {kHeaderBytes + placedBytes.begin, kHeaderBytes + placedBytes.end});
  // The images get only the blocks that are written: the pages of the holes are never touched.
  const std::vector<ByteRange> written = rangesOutside(zeroBlocks_, fileBytes_);
  for (AlignedBuffer& file : files_) {
    file = AlignedBuffer(fileBytes_);
    if (file.size() < fileBytes_) {
      error_ = "no memory for a frame file of " + std::to_string(fileBytes_) + " bytes";
      return;  // no thread: every call below sees the failure
    }
    std::copy(headers.fileHeader.begin(), headers.fileHeader.end(), file.data());
    std::copy(headers.infoHeader.begin(), headers.infoHeader.end(),
              file.data() + headers.fileHeader.size());
    for (const ByteRange& range : written) {
      const size_t begin = std::max(range.begin, kHeaderBytes);
      std::copy(preparedImage.begin() + static_cast<ptrdiff_t>(begin - kHeaderBytes),
                preparedImage.begin() + static_cast<ptrdiff_t>(range.end - kHeaderBytes),
                file.data() + begin);
    }
  }
  // Made before the first file is written, so that no deletion goes unseen.
  if (window_ > 0) deletions_ = std::make_unique<FolderDeletionWatch>(folder_);
  thread_ = std::thread([this] { run(); });
}

FrameFileWriter::~FrameFileWriter() {
  // A consumed sequence whose encoder is gone would be waited for forever.
  if (window_ > 0) abandoned_ = true;
  if (deletions_) deletions_->interrupt();
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
  changed_.wait(lock, [&] { return !pending_[slot] || !error_.empty() || abandoned_; });
  if (abandoned_) return nullptr;  // the writer may still be writing from it
  return files_[slot].size() >= fileBytes_ ? files_[slot].data() + kHeaderBytes : nullptr;
}

void FrameFileWriter::submit(int32_t frameNumber) {
  const size_t slot = static_cast<size_t>(frameNumber & 1);
  {
    std::lock_guard lock(mutex_);
    if (!error_.empty() || abandoned_) return;
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
  changed_.wait(lock,
                [&] { return (!pending_[0] && !pending_[1]) || !error_.empty() || abandoned_; });
}

std::string FrameFileWriter::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void FrameFileWriter::abandon() {
  abandoned_ = true;
  if (deletions_) deletions_->interrupt();
  {
    std::lock_guard lock(mutex_);
    pending_ = {};
  }
  changed_.notify_all();
}

bool FrameFileWriter::idle() const {
  std::lock_guard lock(mutex_);
  return (!pending_[0] && !pending_[1]) || !error_.empty() || abandoned_;
}

void FrameFileWriter::setConsumer(std::shared_ptr<ChildProcess> consumer) {
  std::lock_guard lock(mutex_);
  consumer_ = std::move(consumer);
}

bool FrameFileWriter::waitForRoom(int32_t number) {
  if (window_ <= 0 || number < window_) return !abandoned_;
  const std::string oldest = frameFilePath(folder_, number - window_);
  while (!abandoned_ && !fileGone(oldest)) {
    waitingForEncoder_ = true;
    deletions_->waitForDeletion(deletions_->watching() ? kConsumerCheck : kRoomPoll);
    // Read anew each time: the run may replace an encode that read nothing yet.
    std::shared_ptr<ChildProcess> consumer;
    {
      std::lock_guard lock(mutex_);
      consumer = consumer_;
    }
    // No one will ever read the file: the run learns why from the encoder.
    if (consumer && consumer->waitFor(std::chrono::milliseconds(0))) abandoned_ = true;
  }
  waitingForEncoder_ = false;
  return !abandoned_;
}

void FrameFileWriter::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    const size_t slot = static_cast<size_t>(nextToWrite_ & 1);
    changed_.wait(lock, [&] { return pending_[slot] || stopping_; });
    if (!pending_[slot]) return;  // stopping with nothing left to write
    const int32_t number = numbers_[slot];
    const std::string path = frameFilePath(folder_, number);
    lock.unlock();
    const int error =
        waitForRoom(number) ? writeFileUncached(path, files_[slot], fileBytes_, zeroBlocks_) : 0;
    lock.lock();
    if (abandoned_) {
      pending_ = {};
      changed_.notify_all();
      continue;
    }
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
