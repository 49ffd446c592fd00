#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ffmpeg_III/frame_arrival.h"
#include "ffmpeg_III/frame_files.h"
#include "ffmpeg_III/picture.h"

namespace tarn::tool {

struct FeedResult {
  int64_t framesWritten = 0;
  // Why the feed ended before running out of files: a frame file that is not like the first, or
  // the encoder no longer reading. Empty when the sequence simply ended.
  std::string stopReason;
  // The converter gave the frames up: the movie must not be finished.
  bool abandoned = false;
  // The last pictures went to the encoder by reference and it may not have read them yet: they
  // are kept, unchanged, until the encoder has exited.
  std::vector<Picture> picturesInPipe;
};

inline constexpr const char* kFramesAbandoned = "the converter abandoned the frames";

// Reads the frame files of `sequence` in order, from its first number up to the first missing
// one (as ffmpeg's image sequence reader), and writes each to `fd` as a raw 4:2:0 picture of
// `pictureSize`. A reader thread reads and converts a few frames ahead, so that disk reads and
// the conversion overlap the encoder's work. While `arrival` says more frames are pending, a
// missing or incomplete file is waited for instead of ending the sequence. With `consume`, each
// frame file is deleted once it has been read.
FeedResult feedFrames(const FrameSequence& sequence, FrameArrival& arrival, FrameFormat pictureSize,
                      int fd, bool consume = false);

}  // namespace tarn::tool
