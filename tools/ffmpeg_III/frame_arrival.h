#pragma once

namespace tarn::tool {

// The environment variable that tells the tool its frame files are still being written: while it
// is "1", the converter keeps the tool's standard input open until the last frame file is
// complete, so a missing or short frame file means "not yet" rather than "the end". The converter
// writes one byte before closing when the sequence is complete; an input that ends without it
// means the frames were abandoned (the run was stopped or the converter ended), and the tool then
// makes no movie.
inline constexpr const char* kFramesPendingVariable = "FFMPEG_III_FRAMES_PENDING";

// The environment variable that tells the tool no later run will read the same frame files: while
// it is "1", each frame file is deleted as soon as it has been read, so that the converter can
// keep only a few of them on disk at a time.
inline constexpr const char* kConsumeFramesVariable = "FFMPEG_III_CONSUME_FRAMES";

// Whether `variable` is "1" in the environment: how the converter sets each of the tool's flags.
bool environmentFlagSet(const char* variable);

// Whether the environment asks for consumed frame files (see above).
inline bool consumeFramesFromEnvironment() {
  return environmentFlagSet(kConsumeFramesVariable);
}

// Whether more frame files may still appear, read from a descriptor as described above. Nothing
// is pending for a descriptor of -1.
class FrameArrival {
 public:
  explicit FrameArrival(int fd) : fd_(fd) {}
  // Standard input when the variable above is "1", else nothing pending.
  static FrameArrival fromEnvironment();

  bool pending() const { return fd_ >= 0 && state_ == State::pending; }
  bool abandoned() const { return state_ == State::abandoned; }
  // Reads what the input says without waiting.
  void check() { watch(0); }
  // Waits a few milliseconds for the input to say more.
  void waitBriefly();

 private:
  enum class State { pending, complete, abandoned };
  void watch(int milliseconds);

  int fd_;
  State state_ = State::pending;
  bool completionSeen_ = false;
};

}  // namespace tarn::tool
