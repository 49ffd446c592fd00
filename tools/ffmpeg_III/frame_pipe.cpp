#include "ffmpeg_III/frame_pipe.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/uio.h>

#include <cerrno>

#include "common/write_all.h"

namespace tarn::tool {
namespace {

uint64_t pipeCapacity(int fd) {
  const int size = ::fcntl(fd, F_GETPIPE_SZ);
  return size > 0 ? static_cast<uint64_t>(size) : 0;
}

// Splices all of `size` bytes; 0 when done, else the errno.
int spliceAll(int fd, unsigned char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    iovec part{data + done, size - done};
    const ssize_t n = ::vmsplice(fd, &part, 1, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

FramePipe::FramePipe(int fd) : fd_(fd), capacity_(pipeCapacity(fd)) {
  byReference_ = capacity_ > 0;
}

bool FramePipe::send(Picture picture) {
  if (byReference_) {
    const int error = spliceAll(fd_, picture.data(), picture.size());
    if (error == 0) {
      sent_ += picture.size();
      unread_.push_back({std::move(picture), sent_});
      return true;
    }
    // A descriptor vmsplice does not take, before any byte of it went: write instead.
    if ((error != EINVAL && error != EBADF) || sent_ > 0) {
      errno = error;
      return false;
    }
    byReference_ = false;
  }
  if (!writeAll(fd_, picture.data(), picture.size())) return false;
  read_.push_back(std::move(picture));
  return true;
}

uint64_t FramePipe::bytesRead() const {
  int unread = 0;
  if (::ioctl(fd_, FIONREAD, &unread) == 0 && unread >= 0) {
    return sent_ - static_cast<uint64_t>(unread);
  }
  return sent_ > capacity_ ? sent_ - capacity_ : 0;
}

std::vector<Picture> FramePipe::takeRead() {
  if (!unread_.empty()) {
    const uint64_t read = bytesRead();
    while (!unread_.empty() && unread_.front().end <= read) {
      read_.push_back(std::move(unread_.front().picture));
      unread_.pop_front();
    }
  }
  return std::move(read_);
}

std::vector<Picture> FramePipe::releaseUnread() {
  std::vector<Picture> pictures;
  for (Sent& sent : unread_) pictures.push_back(std::move(sent.picture));
  unread_.clear();
  return pictures;
}

}  // namespace tarn::tool
