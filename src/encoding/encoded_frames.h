#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarn {

// What the encoder tool last said about a main encode's progress:
// "ffmpeg_III: encoded 120 of 250 frames (45.20 fps)" in its standard error.
struct EncodedFrames {
  int64_t frames = 0;
  int64_t total = 0;           // 0 when the tool does not know it
  double framesPerSecond = 0;  // the encoder's average since it started, 0 when unknown
};

// Reads one line of the tool's report; empty for any other line.
std::optional<EncodedFrames> parseEncodedFramesLine(std::string_view line);

// Follows the tool's report file while the tool writes it: every poll reads what was added since
// the last one. The file stays open, so what the tool wrote last is still read after the file is
// removed; a file made anew under the name, or one that shrank, is read from its start.
class EncodedFramesFollower {
 public:
  explicit EncodedFramesFollower(std::filesystem::path report) : report_(std::move(report)) {}
  ~EncodedFramesFollower();
  EncodedFramesFollower(EncodedFramesFollower&& other) noexcept;
  EncodedFramesFollower& operator=(EncodedFramesFollower&&) = delete;
  EncodedFramesFollower(const EncodedFramesFollower&) = delete;
  EncodedFramesFollower& operator=(const EncodedFramesFollower&) = delete;

  // The newest progress line, or empty when none came since the last poll.
  std::optional<EncodedFrames> poll();

 private:
  void reopenIfReplaced();

  std::filesystem::path report_;
  int fd_ = -1;
  uint64_t offset_ = 0;
  std::string partial_;
};

}  // namespace tarn
