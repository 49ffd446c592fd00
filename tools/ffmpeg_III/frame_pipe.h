#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "ffmpeg_III/picture.h"

namespace tarn::tool {

// Hands pictures to the encoder's pipe by reference (vmsplice): the encoder's reads copy them
// straight out of the picture buffers and the tool copies nothing. A picture sent is the pipe's
// until the encoder has read all of it; takeRead() gives back the ones it has read. Where the
// descriptor is not a pipe, pictures are written (copied) instead and come back at once.
class FramePipe {
 public:
  explicit FramePipe(int fd);

  // False, with errno set, when the encoder no longer reads.
  bool send(Picture picture);
  // The pictures the encoder has read in full, to be filled again.
  std::vector<Picture> takeRead();
  // The pictures the encoder may still have to read: they must stay allocated and unchanged
  // until the encoder has exited (freed memory would be reused while the pipe still shows it).
  std::vector<Picture> releaseUnread();

 private:
  struct Sent {
    Picture picture;
    uint64_t end = 0;  // bytes sent up to this picture's end
  };
  // Bytes the encoder has read so far.
  uint64_t bytesRead() const;

  const int fd_;
  const uint64_t capacity_;  // the pipe's size: never more than this is unread
  bool byReference_ = true;
  uint64_t sent_ = 0;
  std::deque<Sent> unread_;
  std::vector<Picture> read_;
};

}  // namespace tarn::tool
