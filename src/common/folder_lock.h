#pragma once

#include <string>

namespace tarn {

// An exclusive advisory lock (flock) on a folder or file, held while this object lives. Two runs
// never use the same temporary folder at once: each takes the folder's lock first, and a lock
// that is held elsewhere is not waited for. The kernel drops the lock when its holder ends, even
// by kill -9, so a lock that can be taken means nobody is using the folder.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock of `path` (a folder, or a file opened for reading) without waiting; the result
  // does not hold it when it is held elsewhere (another process, or another lock of this one) or
  // the path cannot be opened. Links are never followed.
  static FolderLock tryLock(const std::string& path);
  bool held() const { return fd_ >= 0; }
  // The locked entry still exists under `path` (it was not removed or replaced meanwhile).
  bool stillAt(const std::string& path) const;

 private:
  int fd_ = -1;
};

}  // namespace tarn
