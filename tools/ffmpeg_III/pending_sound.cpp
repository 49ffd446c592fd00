#include "ffmpeg_III/pending_sound.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "common/write_all.h"

namespace tarn::tool {
namespace {

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

PendingSound::~PendingSound() {
  // A copy only begins once ffmpeg runs, and this ends after ffmpeg has exited: the copy's writes
  // fail then, and it ends.
  if (copier_.joinable()) copier_.join();
  closeWriteEnd();
  closeFfmpegEnd();
}

void PendingSound::closeFfmpegEnd() {
  if (readEnd_ >= 0) ::close(readEnd_);
  readEnd_ = -1;
}

bool PendingSound::open(std::string* error) {
  int ends[2] = {-1, -1};
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    if (error) *error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return false;
  }
  readEnd_ = ends[0];
  writeEnd_ = ends[1];
  return true;
}

SoundWait PendingSound::waitAndCopy(FrameArrival& arrival) {
  // The file is looked for after every word of the converter: it is renamed into place before
  // the converter says the frames are complete.
  for (;;) {
    if (isRegularFile(path_)) break;
    if (arrival.abandoned() || !arrival.pending()) {
      closeWriteEnd();
      return arrival.abandoned() ? SoundWait::abandoned : SoundWait::missing;
    }
    arrival.waitBriefly();
  }
  copier_ = std::thread([this] { copy(); });
  return SoundWait::arrived;
}

std::string PendingSound::finish() {
  if (copier_.joinable()) copier_.join();
  return copyError_;
}

void PendingSound::copy() {
  const int file = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    copyError_ = "cannot read " + path_ + ": " + std::strerror(errno);
    closeWriteEnd();
    return;
  }
  // Page cache to pipe without a copy through this process where the kernel can; read and write
  // otherwise.
  bool spliced = true;
  for (;;) {
    const ssize_t moved =
        ::splice(file, nullptr, writeEnd_, nullptr, size_t{1} << 20, SPLICE_F_MOVE);
    if (moved > 0) continue;
    if (moved < 0 && errno == EINTR) continue;
    if (moved < 0 && errno == EINVAL) spliced = false;
    if (moved < 0 && errno != EINVAL && errno != EPIPE) {
      copyError_ = "cannot read " + path_ + ": " + std::strerror(errno);
    }
    break;
  }
  if (!spliced) {
    std::vector<char> chunk(size_t{1} << 18);
    for (;;) {
      const ssize_t count = ::read(file, chunk.data(), chunk.size());
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) copyError_ = "cannot read " + path_ + ": " + std::strerror(errno);
      if (count <= 0 || !writeAll(writeEnd_, chunk.data(), static_cast<size_t>(count))) break;
    }
  }
  ::close(file);
  closeWriteEnd();
}

void PendingSound::closeWriteEnd() {
  if (writeEnd_ >= 0) ::close(writeEnd_);
  writeEnd_ = -1;
}

}  // namespace tarn::tool
