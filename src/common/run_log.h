#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace tarn {

// The plain-text run log beside the executable. Every call opens the file, appends one whole line
// ended by CR LF and closes it again, so the log is complete up to the last call even when the
// process is killed. Callable from any thread: a line is never split, interleaved or lost.
// A failure to write is reported once per path, never to the writer: by the failure report when
// one is set, else on standard error.
class RunLog {
 public:
  RunLog() = default;
  explicit RunLog(std::filesystem::path path) : path_(std::move(path)) {}

  void setPath(std::filesystem::path path);
  const std::filesystem::path& path() const { return path_; }

  // Appends text + CR LF. Does nothing when no path is set; a line that cannot be written is lost
  // (the first such loss is reported).
  void writeLog(std::string_view text);

  // Also hands every line (without CR LF) to `echo`, log file or not: a console shows the log as
  // it is written. Set before the threads that log start.
  void setEcho(std::function<void(std::string_view)> echo) { echo_ = std::move(echo); }

  // Receives the text of the first failure ("The run log cannot be written: ..."). Called on the
  // writing thread, outside the log's lock; it must not wait for another thread.
  void setFailureReport(std::function<void(const std::string&)> report);

 private:
  std::function<void(std::string_view)> echo_;
  std::mutex mutex_;
  std::filesystem::path path_;
  bool failureReported_ = false;  // for the current path
  std::function<void(const std::string&)> failureReport_;
};

}  // namespace tarn
