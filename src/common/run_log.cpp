#include "common/run_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace tarn {

void RunLog::setPath(std::filesystem::path path) {
  std::lock_guard lock(mutex_);
  path_ = std::move(path);
}

void RunLog::writeLog(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  // One lock per process keeps lines whole; the single write to an O_APPEND file keeps them
  // whole against other processes writing the same file too.
  std::lock_guard lock(mutex_);
  if (path_.empty()) return;
  // Without waiting: a FIFO nobody reads takes no line instead of blocking the program.
  const int fd = ::open(path_.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t written = -1;
  do {
    written = ::write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  ::close(fd);
}

}  // namespace tarn
