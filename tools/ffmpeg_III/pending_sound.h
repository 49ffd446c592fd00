#pragma once

#include <string>
#include <thread>

#include "ffmpeg_III/frame_arrival.h"

namespace tarn::tool {

// The environment variable that tells the tool the sound file of a main encode is still being
// extracted while the tool starts: while it is "1", the file appears under its name, complete,
// when the extraction ends (the extraction writes under another name and renames). ffmpeg is
// started at once and reads the sound through a pipe that the tool fills once the file is there;
// no frame is read (or, with consumed frames, deleted) before that. The converter never ends the
// frames while the sound is pending: when the extraction makes no file, it abandons the frames.
inline constexpr const char* kSoundPendingVariable = "FFMPEG_III_SOUND_PENDING";

// Whether the environment says the sound file is still being extracted (see above).
inline bool soundPendingFromEnvironment() {
  return environmentFlagSet(kSoundPendingVariable);
}

enum class SoundWait {
  arrived,    // the file is there; its copy into the pipe has begun
  abandoned,  // the converter gave the frames up first
  missing,    // the frames were said complete, yet the file never came
};

// A sound file that ffmpeg reads through a pipe, given to ffmpeg as its descriptor 3.
class PendingSound {
 public:
  // ffmpeg's name for the pipe.
  static constexpr const char* kFfmpegInput = "pipe:3";

  explicit PendingSound(std::string path) : path_(std::move(path)) {}
  ~PendingSound();  // closes the pipe (ffmpeg then reads its end) and waits for the copy
  PendingSound(const PendingSound&) = delete;
  PendingSound& operator=(const PendingSound&) = delete;

  // Creates the pipe. False, with `error` set, when it cannot be made.
  bool open(std::string* error);
  // The pipe's read end, for ffmpeg.
  int ffmpegEnd() const { return readEnd_; }
  // Once ffmpeg has its copy: ours is closed, so that the copy ends when ffmpeg does.
  void closeFfmpegEnd();

  // Waits for the file while frames may still come; once it is there, copies it into the pipe on
  // a thread of its own and closes the pipe. Any other outcome closes the pipe unfilled.
  SoundWait waitAndCopy(FrameArrival& arrival);
  // Waits for the copy to end (once ffmpeg has exited it ends at once) and says why the file could
  // not be read to its end; empty when it could. ffmpeg may stop reading before the end (a movie
  // shorter than its sound): that is no error.
  std::string finish();

 private:
  void copy();
  void closeWriteEnd();

  std::string path_;
  int readEnd_ = -1;
  int writeEnd_ = -1;
  std::thread copier_;
  std::string copyError_;
};

}  // namespace tarn::tool
