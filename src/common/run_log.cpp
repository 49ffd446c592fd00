#include "common/run_log.h"

#include <cstdio>
#include <string>

namespace tarn {

void RunLog::setPath(std::filesystem::path path) {
  std::lock_guard lock(mutex_);
  path_ = std::move(path);
}

void RunLog::writeLog(std::string_view text) {
  if (echo_) echo_(text);
  std::string line(text);
  line += "\r\n";
  // One lock per process keeps lines whole; the single fwrite of an O_APPEND stream keeps them
  // whole against other processes writing the same file too.
  std::lock_guard lock(mutex_);
  if (path_.empty()) return;
  std::FILE* file = std::fopen(path_.c_str(), "ab");
  if (!file) return;
  std::fwrite(line.data(), 1, line.size(), file);
  std::fclose(file);
}

}  // namespace tarn
