#include "ffmpeg_III/report_lines.h"

#include <unistd.h>

#include "common/write_all.h"

namespace tarn::tool {

void ReportLines::passOn(std::string_view text) {
  if (text.empty()) return;
  std::lock_guard lock(mutex_);
  writeAll(STDERR_FILENO, text.data(), text.size());
  // ffmpeg's status line ends in a carriage return: a line of the tool's may follow it.
  withinLine_ = text.back() != '\n' && text.back() != '\r';
}

void ReportLines::say(const std::string& line) {
  const std::string text = "ffmpeg_III: " + line + "\n";
  std::lock_guard lock(mutex_);
  if (withinLine_) writeAll(STDERR_FILENO, "\n", 1);
  writeAll(STDERR_FILENO, text.data(), text.size());
  withinLine_ = false;
}

}  // namespace tarn::tool
