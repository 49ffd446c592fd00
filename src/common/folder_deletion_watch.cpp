#include "common/folder_deletion_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <thread>

namespace tarn {

FolderDeletionWatch::FolderDeletionWatch(const std::string& folder) {
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  inotify_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (inotify_ >= 0 && wake_ >= 0) {
    watch_ = ::inotify_add_watch(inotify_, folder.c_str(), IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR);
  }
}

FolderDeletionWatch::~FolderDeletionWatch() {
  if (inotify_ >= 0) ::close(inotify_);
  if (wake_ >= 0) ::close(wake_);
}

void FolderDeletionWatch::waitForDeletion(std::chrono::milliseconds limit) {
  if (!watching()) {
    std::this_thread::sleep_for(limit);
    return;
  }
  std::array<pollfd, 2> watched{{{inotify_, POLLIN, 0}, {wake_, POLLIN, 0}}};
  if (::poll(watched.data(), watched.size(), static_cast<int>(limit.count())) <= 0) return;
  // Only that something happened matters: the caller looks at its file again.
  alignas(inotify_event) std::array<char, 4096> events{};
  while (::read(inotify_, events.data(), events.size()) > 0) {
  }
  uint64_t count = 0;
  while (::read(wake_, &count, sizeof count) > 0) {
  }
}

void FolderDeletionWatch::interrupt() {
  if (wake_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
}

}  // namespace tarn
