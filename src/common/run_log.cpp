#include "common/run_log.h"

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
  // One lock per process keeps lines whole; the single fwrite of an O_APPEND stream keeps them
  // whole against other processes writing the same file too.
  std::string failure;
  std::function<void(const std::string&)> report;
  {
    std::lock_guard lock(mutex_);
    if (path_.empty()) return;
    int error = 0;
    if (std::FILE* file = std::fopen(path_.c_str(), "ab")) {
      if (std::fwrite(line.data(), 1, line.size(), file) != line.size())
        error = errno ? errno : EIO;
      if (std::fclose(file) != 0 && error == 0) error = errno ? errno : EIO;
    } else {
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
