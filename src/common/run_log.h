#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <string_view>

namespace tarn {

// The plain-text run log beside the executable. Every call opens the file, appends one whole line
// ended by CR LF and closes it again, so the log is complete up to the last call even when the
// process is killed. Callable from any thread: a line is never split, interleaved or lost.
// Failures are ignored.
class RunLog {
 public:
  RunLog() = default;
  explicit RunLog(std::filesystem::path path) : path_(std::move(path)) {}

  void setPath(std::filesystem::path path);
  const std::filesystem::path& path() const { return path_; }

  // Appends text + CR LF. Silently does nothing when no path is set or the file cannot be written.
  void writeLog(std::string_view text);

  // Also hands every line (without CR LF) to `echo`, log file or not: a console shows the log as
  // it is written. Set before the threads that log start.
  void setEcho(std::function<void(std::string_view)> echo) { echo_ = std::move(echo); }

 private:
  std::function<void(std::string_view)> echo_;
  std::mutex mutex_;
  std::filesystem::path path_;
};

}  // namespace tarn
