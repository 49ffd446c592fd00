#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace tarn::tool {

// The tool's standard error carries ffmpeg's text and the tool's own lines ("ffmpeg_III: ..."),
// which the converter reads back from the start of a line. ffmpeg writes some of its lines in
// pieces (the "[mp4 @ 0x...] " prefix, then the message), and the tool's progress lines are
// written while ffmpeg runs: both go through here, so that a line of the tool's always starts a
// line of its own.
class ReportLines {
 public:
  // ffmpeg's text, passed on unchanged.
  void passOn(std::string_view text);
  // "ffmpeg_III: <line>", after a line end when ffmpeg's text stopped within a line.
  void say(const std::string& line);

 private:
  std::mutex mutex_;
  bool withinLine_ = false;
};

}  // namespace tarn::tool
