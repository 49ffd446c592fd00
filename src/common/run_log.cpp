#include "common/run_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

namespace tarn {

void RunLog::setPath(std::filesystem::path path) {
  std::lock_guard lock(mutex_);
  path_ = std::move(path);
  failureReported_ = false;
}

void RunLog::setFailureReport(std::function<void(const std::string&)> report) {
  std::lock_guard lock(mutex_);
  failureReport_ = std::move(report);
}

void RunLog::writeLog(std::string_view text) {
  if (echo_) echo_(text);
  std::string line(text);
  line += "\r\n";
  // One lock per process keeps lines whole; the single write to an O_APPEND file keeps them
  // whole against other processes writing the same file too.
  std::string failure;
  std::function<void(const std::string&)> report;
  {
    std::lock_guard lock(mutex_);
    if (path_.empty()) return;
    // Without waiting: a FIFO nobody reads takes no line instead of blocking the program.
    int error = 0;
    const int fd = ::open(path_.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ssize_t written = -1;
      do {
        written = ::write(fd, line.data(), line.size());
      } while (written < 0 && errno == EINTR);
      // A FIFO that nobody reads drops the line: that is not a failure of the log.
      if (written < 0 && errno != EAGAIN) error = errno;
      if (written >= 0 && static_cast<size_t>(written) != line.size()) error = EIO;
      ::close(fd);
    } else if (errno != ENXIO) {
      error = errno;
    }
    if (error == 0 || failureReported_) return;
    failureReported_ = true;
    failure = "The run log cannot be written:\r\n" + path_.string() + "\r\n" +
              std::error_code(error, std::generic_category()).message();
    report = failureReport_;
  }
  if (report) {
    report(failure);
  } else {
    std::string plain;
    for (char c : failure) {
      if (c != '\r') plain += c;
    }
    std::fprintf(stderr, "%s\n", plain.c_str());
  }
}

}  // namespace tarn
